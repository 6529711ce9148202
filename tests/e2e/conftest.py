"""The suite's fixtures: one desktop for the whole run, a clean Wine session for each file of
tests, and a launched game for each test that asks for one; the header line that says which
program the run plays, and the marker of the tests that the other build's smoke run plays."""

import os

import pytest

from desktop import BUILD, ROUTE, desktop, restart_wine
from smorvala_e2e import Game


def pytest_configure(config):
    config.addinivalue_line("markers", "smoke: played by the smoke run of the other build too")


@pytest.hookimpl(tryfirst=True)
def pytest_collection_modifyitems(items):
    # The resources built into the program are checked in every run, the smoke run's too.
    for item in items:
        if item.module.__name__ == "exe_resources_test":
            item.add_marker(pytest.mark.smoke)


def pytest_report_header():
    return ROUTE.describe()


@pytest.fixture(scope="session", autouse=True)
def the_desktop():
    smoke = os.environ.get("SMORVALA_E2E_ROUTE") == "other"
    with desktop(os.path.join(BUILD, "e2e-smoke" if smoke else "e2e")):
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
