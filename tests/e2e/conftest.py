"""The suite's fixtures: one desktop for the whole run, a clean Wine session for each file of
tests, and a launched game for each test that asks for one."""

import os

import pytest

from desktop import BUILD, desktop, restart_wine
from smorvala_e2e import Game


@pytest.fixture(scope="session", autouse=True)
def the_desktop():
    with desktop(os.path.join(BUILD, "e2e")):
        yield


@pytest.fixture(scope="module", autouse=True)
def clean_wine(the_desktop):
    yield
    # Whatever a file of tests left running in the prefix ends with it.
    restart_wine()


@pytest.fixture
def game(request):
    with Game(request.node.name) as launched:
        yield launched
