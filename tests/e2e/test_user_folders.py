"""Users whose profile folder is not plain ASCII: the cache lies in the user's
real LocalAppDataLow, named by its exact text in the system's code page or by
its short form, never by a best-fit name that leads elsewhere. Each user gets
a prefix of its own, made with that user name and locale."""
import os
import unittest

from e2e_support import PAYLOAD_FILES, PRODUCT_CODE_KIT, Prefix, Scenario, read

# (user name, locale of the Wine run): a letter with a best fit only ("Ł" -> "L")
# on 1252; a name on 932 whose first letter's second byte is a backslash (0x5C);
# letters with no form at all on 1252 ("?").
USERS = (("Łukasz", "en_US.UTF-8"), ("表示", "ja_JP.UTF-8"), ("张伟", "en_US.UTF-8"))


class NonAsciiUsers(Scenario):
    def setUp(self):
        pass  # each user makes a prefix of its own

    def test_install_stages_below_the_users_own_folder(self):
        for user, locale in USERS:
            with self.subTest(user=user, locale=locale):
                prefix = Prefix("user-%d" % USERS.index((user, locale)), self.display,
                                extra={"USER": user, "LC_ALL": locale})
                try:
                    self.check_install(prefix, user)
                finally:
                    prefix.remove()

    def check_install(self, prefix, user):
        profile = prefix.c_drive("users", user)
        self.assertTrue(os.path.isdir(profile), "wineboot made no profile for %s" % user)
        self.assertEqual(prefix.run(self.exe, "/s"), 0)
        cache = os.path.join(profile, "AppData", "LocalLow", "Halvec", "Tavro", "wyk1.7.0")
        for name in PAYLOAD_FILES:
            self.assertEqual(read(os.path.join(cache, name)), read(os.path.join(self.payload, name)),
                             name)
        self.assertTrue(prefix.product_installed(PRODUCT_CODE_KIT))
        # Nothing went to another user's folder (a best-fit "Lukasz", a "??").
        users = sorted(n for n in os.listdir(prefix.c_drive("users")) if n != "Public")
        for other in users:
            if other != user:
                self.assertFalse(os.path.exists(os.path.join(prefix.c_drive("users", other), "AppData",
                                                             "LocalLow", "Halvec")), other)


if __name__ == "__main__":
    unittest.main()
