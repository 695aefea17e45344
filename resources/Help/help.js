// Korvalin's help page in two languages: which one shows, and the switch.
// The page opens in English; "index.html#zh" (what zh.html opens, for a
// program set to Chinese) or a link to a section of one language shows that
// language. Without scripts both languages show, English first.
var KorvalinHelp = (function () {
  "use strict";
  var LANGUAGES = ["en", "zh"];

  // The language an address's #fragment asks for: "zh" or "en" themselves,
  // a section's id ("zh-keys", "keys") by the language it stands in
  // (languageOfId), anything else English.
  function chooseLanguage(hash, languageOfId) {
    var id = decodeURIComponent(String(hash || "").replace(/^#/, ""));
    if (LANGUAGES.indexOf(id) >= 0) return id;
    var found = id && languageOfId ? languageOfId(id) : null;
    return LANGUAGES.indexOf(found) >= 0 ? found : "en";
  }

  function start(document, window) {
    function languageOfId(id) {
      var element = document.getElementById(id);
      for (var i = 0; element && i < LANGUAGES.length; ++i) {
        var part = document.getElementById(LANGUAGES[i]);
        if (part && part.contains(element)) return LANGUAGES[i];
      }
      return null;
    }
    function show() {
      var language = chooseLanguage(window.location.hash, languageOfId);
      for (var i = 0; i < LANGUAGES.length; ++i) {
        var part = document.getElementById(LANGUAGES[i]);
        var link = document.getElementById("switch-" + LANGUAGES[i]);
        if (part) part.style.display = LANGUAGES[i] === language ? "" : "none";
        if (link) link.className = LANGUAGES[i] === language ? "current" : "";
      }
      document.documentElement.lang = language === "zh" ? "zh-CN" : "en";
      // A section shown only now: the browser scrolled while it was hidden.
      var id = String(window.location.hash || "").replace(/^#/, "");
      var target = id && LANGUAGES.indexOf(id) < 0 ? document.getElementById(id) : null;
      if (target && target.scrollIntoView) target.scrollIntoView();
      return language;
    }
    window.addEventListener("hashchange", show);
    return show();
  }

  return { chooseLanguage: chooseLanguage, start: start };
})();

if (typeof module !== "undefined") module.exports = KorvalinHelp;
