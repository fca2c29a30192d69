#!/usr/bin/python3
"""The readers of the data build against the installed packages: libpinyin's phrase tables are
read as libpinyin writes them (syllables spelt as pinyin spells them, phrases as it lists them),
and the vote weighs its voters by their agreement. Usage: test_sources.py LIBPINYIN_DIR"""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import build_data  # noqa: E402

FOLDER = None
# libpinyin's ids: initials b 1, ch 3, d 4, j 9, l 12, w 19, x 20, y 21, z 22; middles i 1, u 2,
# v 3; finals a 1, an 3, e 6, ei 8, en 9, er 11, ong 14, ou 15, in 16.
B, CH, D, J, L, W, X, Y, Z = 1, 3, 4, 9, 12, 19, 20, 21, 22
I, U, V = 1, 2, 3
A, AN, E, EI, EN, ER, ONG, OU, IN = 1, 3, 6, 8, 9, 11, 14, 15, 16


def key(initial, middle, final, tone=0):
    return initial | middle << 5 | final << 7 | tone << 12


class LibpinyinSyllables(unittest.TestCase):
    def test_keys_spell_as_pinyin(self):
        # Guards the spelling rules: y- and w- drop the middle before a final, -iou -uei -uen
        # shorten after an initial, ü is u after j q x y and v after l n, wong is weng.
        rows = [
            (key(0, 0, A), "a"), (key(B, 0, IN), "bin"), (key(Y, I, 0), "yi"),
            (key(Y, I, A), "ya"), (key(Y, V, AN), "yuan"), (key(Y, V, EN), "yun"),
            (key(W, U, 0), "wu"), (key(W, U, A), "wa"), (key(W, 0, ONG), "weng"),
            (key(J, V, E), "jue"), (key(J, V, EN), "jun"), (key(L, V, E), "lue"),
            (key(L, V, 0), "lv"), (key(X, I, OU), "xiu"), (key(D, U, EI), "dui"),
            (key(CH, U, EN), "chun"), (key(0, 0, ER), "er"), (key(Z, I, 0), "zi"),
            (key(Z, I, 0, tone=4), "zi"), (key(0, 0, 7), None), (key(31, 0, A), None),
        ]
        for k, spelt in rows:
            with self.subTest(key=k):
                self.assertEqual(build_data.libpinyin_syllable(k), spelt)

    def test_phrases_of_the_package(self):
        valid = {build_data.libpinyin_syllable(k) for k in range(1 << 12)} - {None}
        phrases = build_data.read_libpinyin(FOLDER, valid)
        self.assertGreater(len(phrases), 90000)
        for word, reading in [("银行", ("yin", "hang")), ("会计", ("kuai", "ji")),
                              ("重庆", ("chong", "qing")), ("了解", ("liao", "jie"))]:
            with self.subTest(word=word):
                self.assertIn(reading, phrases[word])


class Vote(unittest.TestCase):
    def test_the_voter_that_agrees_more_outweighs(self):
        # Guards the weighing: two voters that agree on most words outweigh a third on the
        # word where they part, and a lone voter's reading stands.
        readings = {"长": ["chang", "zhang"], "大": ["da"], "市": ["shi"]}
        words = [f"长{c}" for c in "大市"] + ["大市"]
        a = {"长大": {("zhang", "da"): 1}, "长市": {("chang", "shi"): 1}, "大市": {("da", "shi"): 1}}
        b = dict(a)
        c = {"长大": {("chang", "da"): 1}, "长市": {("zhang", "shi"): 1}}
        refs = build_data.vote_readings(words, [("a", a), ("b", b), ("c", c)], readings,
                                        log=lambda _: None)
        self.assertEqual(refs["长大"], ("zhang", "da"))
        self.assertEqual(refs["长市"], ("chang", "shi"))
        self.assertEqual(refs["大市"], ("da", "shi"))


if __name__ == "__main__":
    FOLDER = sys.argv[1]
    del sys.argv[1]
    unittest.main()
