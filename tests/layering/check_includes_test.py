#!/usr/bin/env python3
"""The include checker on small trees of its own: it passes what the rules
allow and fails an include across a forbidden edge, a header a rule does
not list, and a system header that reaches a folder through the product's
own headers."""

import os
import subprocess
import sys
import tempfile
import unittest

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_includes.py")

RULES = """\
platform/dts -> platform/com
library/interface -> platform/dts  model.h
system platform/sqlserver: sqlite3.h
"""


class Checker(unittest.TestCase):
    def run_on(self, files):
        with tempfile.TemporaryDirectory() as root:
            for path, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text)
            rules = os.path.join(root, "rules.txt")
            with open(rules, "w", encoding="utf-8") as f:
                f.write(RULES)
            done = subprocess.run([sys.executable, CHECKER, "--root", root, "--rules", rules],
                                  capture_output=True, text=True)
            return done.returncode, done.stdout

    def test_allowed_includes_pass(self):
        code, out = self.run_on({
            "platform/com/error.h": "",
            "platform/dts/model.h": '#include "platform/com/error.h"\n#include <vector>\n',
            "platform/dts/model.cpp": '#include "platform/dts/model.h"\n',
            "library/interface/plan.h": '#include "platform/dts/model.h"\n',
        })
        self.assertEqual(code, 0, out)

    def test_an_include_across_a_forbidden_edge_fails(self):
        # dts is below sqlserver: it may not include from it.
        code, out = self.run_on({
            "platform/sqlserver/errors.h": "",
            "platform/dts/convert.cpp": '#include <string>\n#include "platform/sqlserver/errors.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertIn("platform/dts/convert.cpp:2: platform/dts may not include platform/sqlserver/errors.h", out)

    def test_a_header_the_rule_does_not_list_fails(self):
        code, out = self.run_on({
            "platform/dts/model.h": "",
            "platform/dts/oledb.h": "",
            "library/interface/plan.h": '#include "platform/dts/model.h"\n#include "platform/dts/oledb.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertIn("library/interface may not include platform/dts/oledb.h", out)
        self.assertNotIn("model.h", out)

    def test_a_system_header_reached_through_a_product_header_fails(self):
        code, out = self.run_on({
            "platform/sqlserver/sqlite.h": "#include <sqlite3.h>\n",
            "platform/sqlserver/engine.cpp": '#include "platform/sqlserver/sqlite.h"\n',
            "platform/dts/model.h": '#include "platform/sqlserver/sqlite.h"\n',
            "library/interface/plan.h": '#include "platform/dts/model.h"\n',
        })
        self.assertEqual(code, 1)
        self.assertIn("library/interface/plan.h: includes <sqlite3.h> (through platform/sqlserver/sqlite.h)", out)
        self.assertNotIn("engine.cpp", out)


if __name__ == "__main__":
    unittest.main()
