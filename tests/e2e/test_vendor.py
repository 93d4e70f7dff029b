"""The vendor key HKCU\\Software\\QUELB. goes only once no subkey is left in it: values do not
keep it, another product does. A second run finds nothing to delete and still reports done."""

import unittest

import e2e_harness as h

KELMORA = h.VENDOR_KEY + "\\Kelmora"


def setUpModule():
    h.open_session()


def tearDownModule():
    h.close_session()


# (fixture set, whether the vendor key stays)
VENDOR_CASES = [
    ("other-product", True),
    ("vorlaxen", False),
]


class VendorKey(h.RegistryCase):

    def test_vendor_key(self):
        for variant, stays in VENDOR_CASES:
            with self.subTest(variant=variant):
                before = h.seeded(variant)
                self.assertTrue(before[h.VENDOR_KEY], "the vendor key has values")
                _, exit_code = h.run_through(self, "Enter", "Enter")
                self.assertEqual(exit_code, 0)
                after = h.snapshot()
                if stays:
                    self.assertEqual(after.get(h.VENDOR_KEY), before[h.VENDOR_KEY],
                                     "the vendor key and its values stay")
                    self.assertEqual(after.get(KELMORA), before[KELMORA])
                else:
                    self.assertNotIn(h.VENDOR_KEY, after)
                self.assertRegistry(h.expected_after_removal(before), after,
                                    "registry after the run")


class NothingToDelete(h.RegistryCase):

    def test_runs_with_nothing_to_delete(self):
        # (how the registry is before the run that is checked)
        for setup in ("after a first run", "never seeded"):
            with self.subTest(setup=setup):
                if setup == "after a first run":
                    h.seeded("vorlaxen")
                    _, exit_code = h.run_through(self, "Enter", "Enter")
                    self.assertEqual(exit_code, 0)
                else:
                    h.seeded("nothing")
                before = h.snapshot()
                for tree in h.PRODUCT_TREES + [h.VENDOR_KEY]:
                    self.assertNotIn(tree, before)
                _, exit_code = h.run_through(self, "Enter", "Enter")
                self.assertEqual(exit_code, 0)
                self.assertRegistry(before, h.snapshot(), "registry after the second run")


if __name__ == "__main__":
    unittest.main()
