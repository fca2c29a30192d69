"""The automatic-annotation rule of phonetag, re-implemented for the data build and its
evaluation: InsBlank, the word table applied from its last line to its first, marker removal,
then FixPinyin against the character dictionary.

Character classes come from the code page 936 table that encode936 --charset writes, so a
character counts as double-byte here exactly when the tools' ansiCode() says so."""

MARK = "0"


def load_charset(path):
    """{character: code page 936 code} of every double-byte character."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            code, ch = line.rstrip("\n").split("\t")
            table[ch] = int(code, 16)
    return table


class Rule:
    def __init__(self, charset):
        self.double = charset

    def code(self, ch):
        """ansiCode as far as the rule needs it: negative for double-byte characters, the
        byte for ASCII, 63 for anything code page 936 cannot represent."""
        if ch in self.double:
            return -1
        return ord(ch) if ord(ch) < 0x80 else 63

    def entry_word(self, line):
        if not line:
            return ""
        return line[0] + "".join(c for c in line[1:] if c in self.double)

    def ins_blank(self, line):
        out = []
        for i, c in enumerate(line):
            if c in self.double and i + 1 < len(line) and self.code(line[i + 1]) > 64:
                out.append(MARK)
            out.append(c)
        return "".join(out)

    def fix_pinyin(self, line, dictionary):
        out = []
        keep = False
        n = len(line)
        for i, c in enumerate(line):
            if i + 1 == n:
                if c in self.double:
                    out.append(dictionary.get(c, c))
                elif keep:
                    out.append(c)
                break
            if c in self.double:
                keep = True
                if self.code(line[i + 1]) >= 64:
                    out.append(c)
                    if c not in dictionary:
                        keep = False
                else:
                    out.append(dictionary.get(c, c))
            elif keep:
                out.append(c)
        return "".join(out)


class WordTable:
    """zn.lxd as the annotation form loads it: (entryWord, InsBlank) per line in file order.
    Applying every pair to a line by replace-all, last pair first, only changes the line
    where a pair's word occurs in it; words never span lines and a replacement only splits
    runs of bare characters, so looking up the substrings of the original line finds every
    pair that can act on it, and applying just those in table order gives the same text."""

    def __init__(self, rule, lines):
        self.priority = {}
        self.marked = []
        self.longest = 0
        self.shortest = 1
        for index, line in enumerate(lines):
            word = rule.entry_word(line)
            self.marked.append((word, rule.ins_blank(line)))
            if word:
                # the later line is applied first; an earlier line with the same word can
                # then never match again
                self.priority[word] = index
                self.longest = max(self.longest, len(word))
        if self.priority:
            self.shortest = min(len(w) for w in self.priority)

    def touches(self, text):
        """True when some pair's word occurs in the text."""
        n = len(text)
        shortest = self.shortest
        for i in range(n - shortest + 1):
            for j in range(i + shortest, min(n, i + self.longest) + 1):
                if text[i:j] in self.priority:
                    return True
        return False

    def apply(self, text):
        hits = set()
        n = len(text)
        for i in range(n):
            for j in range(i + 1, min(n, i + self.longest) + 1):
                index = self.priority.get(text[i:j])
                if index is not None:
                    hits.add(index)
        for index in sorted(hits, reverse=True):
            word, marked = self.marked[index]
            text = text.replace(word, marked)
        return text


def annotate(rule, line, table, dictionary):
    """Automatic annotation of one lexicon line; `table` may be None (dictionary only)."""
    text = rule.ins_blank(line)
    if table is not None:
        text = table.apply(text)
    text = text.replace(MARK, "")
    return rule.fix_pinyin(text, dictionary)
