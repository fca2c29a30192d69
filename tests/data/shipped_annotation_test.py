#!/usr/bin/python3
"""The shipped dz.txt and zn.lxd, read as phonetag reads them and applied by the annotation rule
the data build scores with, annotate common words as a user expects.

  shipped_annotation_test.py CHARSET PHONETAG_DIR PINYIN_SIMP JIEBA_DICT"""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data",
                                "tools"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "data",
                                "eval"))
from annotate_rule import Rule, WordTable, annotate, load_charset  # noqa: E402
from build_data import annotated, read_jieba, read_pinyin_simp  # noqa: E402
from eval_annotation import load_dictionary, read_lines  # noqa: E402

ARGS = None
TOP_WORDS = 20000


class ShippedAnnotation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        charset, folder, cls.simp_path, cls.jieba_path = ARGS
        cls.rule = Rule(load_charset(charset))
        cls.dz = load_dictionary(read_lines(os.path.join(folder, "dz.txt"), False))
        cls.zn = WordTable(cls.rule, read_lines(os.path.join(folder, "zn.lxd"), False))

    def run_rule(self, word):
        return annotate(self.rule, word, self.zn, self.dz)

    def test_frequent_polyphonic_words(self):
        # Guards against shipping a word table that lacks common words whose characters read
        # otherwise alone (a held-out share missing from the shipped table, a reading taken
        # from a typing frequency rather than from speech).
        expected = [
            "了liao解jie", "成cheng长zhang", "行hang业ye", "导dao弹dan", "柏bo林lin",
            "外wai长zhang", "厂chang长zhang", "班ban长zhang", "着zhuo重zhong", "地di壳qiao",
            "模mu样yang", "一yi模mu一yi样yang", "重chong庆qing", "银yin行hang", "长zhang大da",
            "说shuo服fu", "重zhong要yao", "音yin乐yue", "快kuai乐le", "便pian宜yi",
        ]
        for reference in expected:
            word = self.rule.entry_word(reference)
            with self.subTest(word=word):
                self.assertEqual(self.run_rule(word), reference)

    def test_most_frequent_dictionary_words_read_as_a_dictionary_lists(self):
        # Guards against a word table whose order or blockers let one entry spoil common words:
        # jieba's most frequent words that pinyin_simp lists must come out with one of the
        # readings pinyin_simp gives them.
        simp_words = read_pinyin_simp(self.simp_path)[1]
        jieba = read_jieba(self.jieba_path)
        top = sorted((w for w in jieba if len(w) > 1 and set(w) <= self.rule.double.keys()),
                     key=lambda w: (-jieba[w], w))[:TOP_WORDS]
        checked = [w for w in top if w in simp_words]
        self.assertGreater(len(checked), TOP_WORDS * 3 // 4)
        wrong = []
        for rank, word in enumerate(checked):
            got = self.run_rule(word)
            if all(got != annotated(word, r) for r in simp_words[word]):
                wrong.append((rank, got))
        # none among the 5,000 most frequent, at most one in 2,000 over all
        self.assertEqual([got for rank, got in wrong if rank < 5000], [])
        self.assertLessEqual(len(wrong), len(checked) // 2000, " ".join(g for _, g in wrong[:50]))

if __name__ == "__main__":
    ARGS = sys.argv[1:5]
    del sys.argv[1:5]
    unittest.main()
