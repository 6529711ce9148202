"""The resources built into SMorvala.exe (tests/resources/exe_resources_test.py) and the icon and
sounds being what their scripts make (tests/resources/generated_assets_test.py), run in the
end-to-end suite because the first needs the Windows build. Prints one PASS or FAIL line for
each test, as the suite's runner counts them."""

import importlib.util
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCE_TESTS = os.path.join(HERE, "..", "resources")


def load(name):
    found = importlib.util.spec_from_file_location(name, os.path.join(RESOURCE_TESTS, f"{name}.py"))
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


class LineResult(unittest.TestResult):
    """One line for each test: PASS, or FAIL with the last line of its error."""

    def addSuccess(self, test):
        super().addSuccess(test)
        print(f"PASS: {test.id()}", flush=True)

    def report(self, test, error):
        kind, value, _ = error
        reason = str(value).strip().splitlines()
        print(f"FAIL: {test.id()}: {kind.__name__}: {reason[-1] if reason else ''}", flush=True)

    def addFailure(self, test, error):
        super().addFailure(test, error)
        self.report(test, error)

    def addError(self, test, error):
        super().addError(test, error)
        self.report(test, error)

    def addSubTest(self, test, subtest, error):
        super().addSubTest(test, subtest, error)
        if error is not None:
            self.report(subtest, error)


def main():
    loader = unittest.TestLoader()
    suite = unittest.TestSuite()
    for name in ("exe_resources_test", "generated_assets_test"):
        suite.addTests(loader.loadTestsFromModule(load(name)))
    result = LineResult()
    suite.run(result)
    sys.exit(0 if result.wasSuccessful() else 1)


main()
