"""OK removes the program's registry data, then the result dialog shows; however that dialog is
closed, the program ends with exit code 0 and exactly the intended trees are gone."""

import unittest

import e2e_harness as h


def setUpModule():
    h.open_session()


def tearDownModule():
    h.close_session()


# (what is done on the uninstall dialog, then on the result dialog, ANSI code page, whether the
# registry is looked at while the result shows: the order does not depend on how it is closed)
CASES = [
    ("Enter", "click OK", 932, True),
    ("Enter", "Enter", 932, False),
    ("Enter", "Esc", 932, False),
    ("Enter", "close box", 932, False),
    ("Enter", "Alt+F4", 932, False),
    ("click OK", "Enter", 932, True),
    ("Enter", "Enter", 1252, True),
]


class Removal(h.RegistryCase):

    def test_ok_then_close_result(self):
        for main_action, result_action, acp, look_while_shown in CASES:
            with self.subTest(main=main_action, result=result_action, acp=acp):
                self.remove(main_action, result_action, acp, look_while_shown)

    def remove(self, main_action, result_action, acp, look_while_shown):
        before = h.seeded("vorlaxen")
        for tree in h.PRODUCT_TREES + [h.VENDOR_KEY]:
            self.assertIn(tree, before, "the fixture has %s" % tree)
        expected = h.expected_after_removal(before)
        self.assertNotIn(h.VENDOR_KEY, expected, "only values are left in the vendor key")

        def removed_before_result(run, state):
            # The data are gone by the time the result shows, not when it closes.
            if look_while_shown:
                self.assertRegistry(expected, h.snapshot(), "registry while the result shows")
            if (main_action, result_action, acp) == CASES[0][:3]:
                run.screenshot("result-dialog", state["main"]["window"])
                self.check_x11_geometry(state["main"])
                self.check_x11_geometry(state["result"])

        _, exit_code = h.run_through(self, main_action, result_action, acp=acp,
                                     while_shown=removed_before_result)
        self.assertEqual(exit_code, 0)
        self.assertRegistry(expected, h.snapshot(), "registry after the run")


class JapaneseKeyNames(h.RegistryCase):
    """Keys with Japanese names inside the removed trees go with them."""

    def remove_japanese_names(self, acp):
        before = h.seeded("japanese-names")
        japanese = [key for key in before if any(ord(c) > 0x7f for c in key)]
        self.assertTrue(japanese, "the fixture has keys with Japanese names")
        _, exit_code = h.run_through(self, "Enter", "Enter", acp=acp)
        self.assertEqual(exit_code, 0)
        self.assertRegistry(h.expected_after_removal(before), h.snapshot(),
                            "registry after the run")

    def test_code_page_932(self):
        self.remove_japanese_names(932)

    # Known fault: the registry code goes through the "A" functions, and under code page 1252 a
    # Japanese subkey name comes back from RegEnumKeyExA as question marks, which RegDeleteKeyA
    # cannot find; the trees holding one stay. The mark goes once the removal uses the "W"
    # functions, and a pass until then fails the run as an unexpected success.
    @unittest.expectedFailure
    def test_code_page_1252(self):
        self.remove_japanese_names(1252)


if __name__ == "__main__":
    unittest.main()
