// The help page in both languages (resources/Help): every section of one
// language has its counterpart in the other, every link inside a language
// reaches a section of that language, the page's script shows the language
// the address asks for, and zh.html opens the page with Chinese first.
//
//   node tests/help/help_page_test.js HELP_FOLDER
"use strict";
const assert = require("assert");
const fs = require("fs");
const path = require("path");

const folder = process.argv[2] || path.join(__dirname, "../../resources/Help");
const html = fs.readFileSync(path.join(folder, "index.html"), "utf8");
const help = require(path.resolve(folder, "help.js"));
let failed = 0;
function test(name, body) {
  try {
    body();
    console.log("PASS " + name);
  } catch (e) {
    failed++;
    console.log("FAIL " + name + "\n  " + String(e.message).replace(/\n/g, "\n  "));
  }
}

// The text of one language's part: <div class="lang" id="LANG" ...> to its </div>
// (the parts hold no other div but the notes, which close on their line).
function part(language) {
  const start = html.indexOf('<div class="lang" id="' + language + '"');
  assert.ok(start >= 0, "no part for " + language);
  const end = html.indexOf("</main>\n</div>", start);
  assert.ok(end > start, "the part " + language + " does not end");
  return html.slice(start, end);
}
const ids = (text) => [...text.matchAll(/<h[23] id="([^"]+)"/g)].map((m) => m[1]);
const links = (text) => [...text.matchAll(/href="#([^"]+)"/g)].map((m) => m[1]);

test("each section exists in both languages", () => {
  const en = ids(part("en"));
  const zh = ids(part("zh"));
  assert.ok(en.length >= 8, "English sections: " + en);
  assert.deepStrictEqual(zh, en.map((id) => "zh-" + id), "Chinese sections, in the English order");
});

test("each link leads to a section in its own language", () => {
  for (const language of ["en", "zh"]) {
    const text = part(language);
    const own = new Set(ids(text));
    for (const target of links(text)) assert.ok(own.has(target), language + ": #" + target + " is not one of its sections");
  }
});

test("the Chinese part is written in Chinese, with the program's own words", () => {
  const zh = part("zh").replace(/<[^>]+>/g, "");
  const han = (zh.match(/[\u4e00-\u9fff]/g) || []).length;
  const latin = (zh.match(/[A-Za-z]/g) || []).length;
  assert.ok(han > 3 * latin, han + " Chinese characters beside " + latin + " Latin letters");
  // Button and label names as the Chinese language section spells them.
  for (const word of ["应用", "确定", "取消", "恢复默认", "宏编辑", "配置 1", "录制", "停止录制", "录制延时", "循环次数",
                      "置顶", "上移", "下移", "置底", "清空", "导入", "导出", "亮度", "速度", "全亮", "清除", "单键",
                      "多媒体", "功能键", "未检测到设备，无法显示按键设置！"])
    assert.ok(zh.includes(word), "missing: " + word);
  assert.ok(!/[\u4e00-\u9fff，。；：]\n/.test(part("zh")), "a line break inside a Chinese sentence shows as a blank");
});

test("the address chooses the language", () => {
  const inZh = (id) => (id.startsWith("zh-") ? "zh" : id === "keys" ? "en" : null);
  const cases = [["", "en"], ["#", "en"], ["#en", "en"], ["#zh", "zh"], ["#zh-keys", "zh"], ["#keys", "en"],
                 ["#nothing", "en"], ["#%7A%68", "zh"], [undefined, "en"]];
  for (const [hash, want] of cases) assert.strictEqual(help.chooseLanguage(hash, inZh), want, "hash " + hash);
});

// A document of the two parts, a section in each and the switch.
function fakePage(hash) {
  const element = (id, parent) => ({ id, parent, style: { display: "" }, className: "", scrolled: false,
    contains(other) { for (let e = other; e; e = e.parent) if (e === this) return true; return false; },
    scrollIntoView() { this.scrolled = true; } });
  const en = element("en"), zh = element("zh");
  const byId = { en, zh, keys: element("keys", en), "zh-keys": element("zh-keys", zh),
                 "switch-en": element("switch-en"), "switch-zh": element("switch-zh") };
  const listeners = {};
  const window = { location: { hash }, addEventListener: (type, f) => { listeners[type] = f; } };
  const document = { getElementById: (id) => byId[id] || null, documentElement: { lang: "" } };
  return { window, document, byId, listeners };
}

test("the page shows the chosen language and follows links into the other", () => {
  for (const [hash, shown, hidden, lang] of [["", "en", "zh", "en"], ["#zh", "zh", "en", "zh-CN"]]) {
    const page = fakePage(hash);
    assert.strictEqual(help.start(page.document, page.window), shown);
    assert.strictEqual(page.byId[shown].style.display, "", hash);
    assert.strictEqual(page.byId[hidden].style.display, "none", hash);
    assert.strictEqual(page.byId["switch-" + shown].className, "current");
    assert.strictEqual(page.document.documentElement.lang, lang);
  }
  const page = fakePage("");
  help.start(page.document, page.window);
  page.window.location.hash = "#zh-keys";
  page.listeners.hashchange();
  assert.strictEqual(page.byId.zh.style.display, "");
  assert.strictEqual(page.byId.en.style.display, "none");
  assert.ok(page.byId["zh-keys"].scrolled, "the section is scrolled to once shown");
});

test("zh.html opens the page with Chinese first", () => {
  const zh = fs.readFileSync(path.join(folder, "zh.html"), "utf8");
  assert.ok(zh.includes('content="0; url=index.html#zh"'), "no refresh to index.html#zh");
  assert.ok(zh.includes('location.replace("index.html#zh")'), "no script going to index.html#zh");
  assert.ok(html.includes('<script src="help.js"></script>') && html.includes("KorvalinHelp.start(document, window)"));
});

console.log(failed ? failed + " failed" : "all passed");
process.exit(failed ? 1 : 0);
