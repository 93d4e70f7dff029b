"""Leaving without deleting: Esc, Cancel, the close box, Alt+F4, and Enter once Tab has moved the
focus to Cancel. The program ends at once with exit code 0 and the registry as it was. Tab moves
only between OK and Cancel."""

import unittest

import e2e_harness as h


def setUpModule():
    h.open_session()


def tearDownModule():
    h.close_session()


LEAVING = ["Esc", "Tab Enter", "click Cancel", "close box", "Alt+F4"]

# Keys pressed one at a time, the control focused after each, and whether Enter then deletes.
TABBING = [
    (["Tab"], [h.IDCANCEL], False),
    (["Tab", "Tab"], [h.IDCANCEL, h.IDOK], True),
    (["Tab", "Tab", "Tab"], [h.IDCANCEL, h.IDOK, h.IDCANCEL], False),
    (["shift+Tab"], [h.IDCANCEL], False),
    (["shift+Tab", "shift+Tab"], [h.IDCANCEL, h.IDOK], True),
]


class Leaving(h.RegistryCase):

    def test_leave_without_deleting(self):
        for action in LEAVING:
            with self.subTest(action=action):
                before = h.seeded("vorlaxen")
                with h.Uninstaller() as run:
                    state = run.wait_for("main")
                    h.ACTIONS[action](run, state["main"])
                    self.assertEqual(run.wait_exit(), 0)
                self.assertRegistry(before, h.snapshot(), "registry after %s" % action)


class Tabbing(h.RegistryCase):

    def test_tab_order_then_enter(self):
        for keys, focus, deletes in TABBING:
            with self.subTest(keys=" ".join(keys)):
                before = h.seeded("vorlaxen")
                with h.Uninstaller() as run:
                    state = run.wait_for("main")
                    previous = state["main"]["focus_id"]
                    self.assertEqual(previous, h.IDOK)
                    for key, expected in zip(keys, focus):
                        run.keys(key)
                        previous = run.focus_after(previous)
                        self.assertEqual(previous, expected, "focus after %s" % key)
                    run.keys("Return")
                    if deletes:
                        state = run.wait_for("result")
                        self.check_result_dialog(state)
                        run.keys("Return")
                    self.assertEqual(run.wait_exit(), 0)
                expected = h.expected_after_removal(before) if deletes else before
                self.assertRegistry(expected, h.snapshot(), "registry after %s Enter" %
                                    " ".join(keys))


if __name__ == "__main__":
    unittest.main()
