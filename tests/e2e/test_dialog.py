"""The uninstall dialog as it first shows: notice, controls, focus and place, in both ANSI code
pages the program meets (932, Japanese; 1252, Western). Each run ends with Esc and must leave
the registry as it was."""

import unittest

import e2e_harness as h


def setUpModule():
    h.open_session()


def tearDownModule():
    h.close_session()


CODE_PAGES = [932, 1252]


class FirstLook(h.RegistryCase):

    def test_dialog_at_start(self):
        for acp in CODE_PAGES:
            with self.subTest(acp=acp):
                self.run_and_look(acp)

    def run_and_look(self, acp):
        before = h.seeded("vorlaxen")
        acps, _ = h.probe(["acp"], acp=acp)
        self.assertEqual(acps["acp"], acp, "the run's ANSI code page")
        with h.Uninstaller(acp=acp) as run:
            state = run.wait_for("main")
            main = state["main"]
            run.screenshot("uninstall-dialog-cp%d" % acp, main["window"])
            controls = main["controls"]

            self.assertEqual(main["title"], h.MAIN_TITLE)
            self.assertEqual(main["owner"], 0, "the uninstall dialog has no owner")
            # The notice is read back as UTF-16: it has to be right whatever the code page.
            self.assertEqual(controls[h.IDC_NOTICE]["text"], h.NOTICE)

            self.assertEqual(sorted(controls), [h.IDOK, h.IDCANCEL, h.IDC_NOTICE])
            notice = controls[h.IDC_NOTICE]
            self.assertEqual(notice["class"].lower(), "edit")
            self.assertTrue(notice["style"] & h.ES_MULTILINE, "the notice is multi-line")
            self.assertTrue(notice["style"] & h.ES_READONLY, "the notice is read-only")
            self.assertFalse(notice["style"] & h.WS_TABSTOP, "the notice is no tab stop")
            for button in (h.IDOK, h.IDCANCEL):
                self.assertEqual(controls[button]["class"].lower(), "button")
                self.assertTrue(controls[button]["style"] & h.WS_TABSTOP)
            self.assertEqual(controls[h.IDOK]["text"], "OK")
            self.assertTrue(controls[h.IDOK]["style"] & h.BS_DEFPUSHBUTTON)
            if acp == 932:
                self.assertEqual(controls[h.IDCANCEL]["text"], "ｷｬﾝｾﾙ")

            self.assertEqual(main["default_id"], h.IDOK)
            self.assertTrue(main["active"], "the dialog is the active window")
            self.assertEqual(main["focus_id"], h.IDOK, "OK has the focus at start")

            # Centred on the desktop by its client size, placed by its outer top-left corner.
            self.assertEqual(tuple(main["window"][:2]),
                             h.centred(state["desktop"], main["client"]),
                             "window %s, client %s, desktop %s" % (
                                 main["window"], main["client"], state["desktop"]))
            self.assertEqual(state["desktop"], [0, 0, h.session().display.width,
                                                h.session().display.height])
            self.check_x11_geometry(main)

            run.keys("Escape")
            self.assertEqual(run.wait_exit(), 0)
        self.assertRegistry(before, h.snapshot(), "registry after Esc")


if __name__ == "__main__":
    unittest.main()
