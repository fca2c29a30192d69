// The peer of `lexcli phonetag annotate`: every line of a code page 936 lexicon annotated by
// pinyin-pro (each Chinese character followed by its toneless pinyin in the word's context),
// letters already in the line dropped first; output UTF-8 with CR LF.
//   node pinyin_pro.js MODULE_DIR IN OUT
const fs = require("fs");
const path = require("path");
const { pinyin } = require(path.join(process.argv[2], "node_modules", "pinyin-pro"));

const text = new TextDecoder("gbk").decode(fs.readFileSync(process.argv[3]));
const lines = text.split("\r\n");
if (lines.length && lines[lines.length - 1] === "") lines.pop();
const out = new Array(lines.length);
for (let i = 0; i < lines.length; ++i) {
    const word = lines[i].replace(/[\x00-\x7f]/g, "");
    const syllables = pinyin(word, { toneType: "none", type: "array" });
    let annotated = "";
    for (let j = 0; j < word.length; ++j) annotated += word[j] + (syllables[j] || "");
    out[i] = annotated;
}
fs.writeFileSync(process.argv[4], out.join("\r\n") + "\r\n");
