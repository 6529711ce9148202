#!/usr/bin/env python3
"""The committed icon, sounds and setup pictures are exactly what tools/make_icon.py,
tools/make_sounds.py and tools/make_setup_pictures.py write, so a Windows build that takes them
from the repository matches the scripts, and the pictures the game's colours. Run the scripts
again after changing them or the game's colours, and commit their output."""
import pathlib
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
RES = ROOT / "res"


class GeneratedAssetsTest(unittest.TestCase):
    def regenerate(self, script, *outputs):
        with tempfile.TemporaryDirectory() as scratch:
            target = pathlib.Path(scratch)
            argument = target / outputs[0] if len(outputs) == 1 else target
            subprocess.run([sys.executable, str(ROOT / "tools" / script), str(argument)], check=True)
            return {name: (target / name).read_bytes() for name in outputs}

    def assert_matches_committed(self, generated):
        for name, content in generated.items():
            with self.subTest(file=name):
                committed = (RES / name).read_bytes()
                self.assertEqual(len(content), len(committed), f"{name}: size differs")
                self.assertTrue(content == committed, f"res/{name} differs from what its script writes")

    def test_icon_is_reproduced(self):
        self.assert_matches_committed(self.regenerate("make_icon.py", "smorvala.ico"))

    def test_sounds_are_reproduced(self):
        self.assert_matches_committed(self.regenerate("make_sounds.py", "clear.wav", "rotate.wav"))

    def test_setup_pictures_are_reproduced(self):
        self.assert_matches_committed(self.regenerate("make_setup_pictures.py", "setup-welcome.bmp", "setup-header.bmp"))


if __name__ == "__main__":
    unittest.main()
