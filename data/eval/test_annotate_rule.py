#!/usr/bin/python3
"""The re-implemented annotation rule against the tool's documented cases, so that the scores
of eval_annotation.py measure what phonetag will do. Usage: test_annotate_rule.py CHARSET"""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from annotate_rule import Rule, WordTable, annotate, load_charset  # noqa: E402

CHARSET = None


class AnnotateRule(unittest.TestCase):
    def setUp(self):
        self.rule = Rule(CHARSET)
        self.dz = {line[0]: line for line in
                   ["重zhong", "庆qing", "市shi", "中zhong", "国guo", "开kai", "会hui", "计ji", "划hua"]}

    def run_rule(self, line, zn):
        table = WordTable(self.rule, zn) if zn is not None else None
        return annotate(self.rule, line, table, self.dz)

    def test_word_table_decides_and_dictionary_fills_in(self):
        self.assertEqual(self.run_rule("重庆市", ["重chong庆qing"]), "重chong庆qing市shi")

    def test_annotated_text_blocks_a_word(self):
        self.assertEqual(self.run_rule("重庆qing", ["重chong庆qing"]), "重zhong庆qing")

    def test_annotated_word_passes_unchanged(self):
        self.assertEqual(self.run_rule("重chong庆qing", ["重chong庆qing"]), "重chong庆qing")

    def test_later_line_wins_where_words_overlap(self):
        zn = ["会kuai计ji", "开kai会hui"]
        self.assertEqual(self.run_rule("开会计划", zn), "开kai会hui计ji划hua")
        self.assertEqual(self.run_rule("开会计划", zn[::-1]), "开kai会kuai计ji划hua")

    def test_leading_letters_digit_zero_and_unknown_annotation(self):
        self.assertEqual(self.run_rule("ab中国", None), "中zhong国guo")
        self.assertEqual(self.run_rule("中0国", []), "中zhong国guo")
        self.assertEqual(self.run_rule("丂abc国", []), "丂国guo")
        self.assertEqual(self.run_rule("abc", []), "")


if __name__ == "__main__":
    CHARSET = load_charset(sys.argv.pop(1))
    unittest.main()
