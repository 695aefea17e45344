"""Writes resources/dialogs.rc, the dialog templates of the main window,
the composite editor and the profile manager, from the skin layout
(tools/skingen/layout.json): every control the skin places exists in its
dialog with the same id. Ids are written by their names in
resources/control_ids.h, generated from the same layout. Positions come from
the skin at run time, so the templates give every control a nominal 1x1
rectangle.

Run from the repository root after regenerating the skin (tools/skingen/generate
does both):
    python3 tools/make_resources.py
"""
import json
import re

LAYOUT = "tools/skingen/layout.json"
HEADER = "resources/control_ids.h"
OUT = "resources/dialogs.rc"

IMAGE_BUTTONS = {"key", "gkey", "fn", "tool", "tab", "button", "report", "field", "indicator", "bank",
                 "panel", "flip", "arrow", "macro", "labelled", "page", "title", "link"}

# Kinds of controls by skin key where the painter's kind does not say.
COMPOSITE_KINDS = {"FUNC_MACRO_LIST2": "virtuallist", "FUNC_MEDIA_SELECT": "listbox",
                   "FUNC_FUNCTION_SELECT": "listbox", "FUNC_MACRO_LIST": "editcombo",
                   "FUNC_KEY_INPUT": "readonly"}
PROFILE_KINDS = {"PROGRAM_LIST": "listview"}
# Placed by the skin but created hidden: the Switch button and the progress picture.
MAIN_HIDDEN = {"FUNC_SWITCH", "CONTROL_JDTStatic"}


# Window class, style and nominal height of each kind of control; every image
# button is an owner-drawn button that the skin draws (made so from the
# start: restyling each one when it is skinned cost a frame change apiece).
CONTROL_KINDS = {
    "label": ("Static", "SS_LEFT | SS_NOTIFY", 1),
    "picture": ("Static", "SS_BITMAP | SS_NOTIFY", 1),
    "combo": ("ComboBox", "CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP", 60),
    "editcombo": ("ComboBox", "CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP", 60),
    "listview": ("SysListView32", "LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP", 1),
    # The rows live in the editor; the control asks for the texts it shows.
    "virtuallist": ("SysListView32",
                    "LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP", 1),
    "celledit": ("Edit", "ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER", 1),
    "celllist": ("ComboBox", "CBS_DROPDOWNLIST | WS_VSCROLL", 60),
    "gauge": ("Static", "SS_OWNERDRAW", 1),
    "listbox": ("ListBox", "LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP", 1),
    "edit": ("Edit", "ES_CENTER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP", 1),
    "readonly": ("Edit", "ES_CENTER | ES_READONLY | WS_BORDER", 1),
    "check": ("Button", "BS_AUTOCHECKBOX | WS_TABSTOP", 1),
}


def control(kind, cid, visible=True):
    vis = " | WS_VISIBLE" if visible else ""
    if kind in IMAGE_BUTTONS:
        cls, style, height = "Button", "BS_OWNERDRAW | WS_TABSTOP", 1
    elif kind in CONTROL_KINDS:
        cls, style, height = CONTROL_KINDS[kind]
    else:
        raise ValueError(kind)
    return f'    CONTROL "", {cid}, "{cls}", {style}{vis}, 0, 0, 1, {height}'


def kind_of(dialog, c):
    k = c["kind"]
    key = c["key"]
    if k == "hidden":
        # Hidden lighting controls: the colour buttons (and Switch) are image
        # buttons, the pictures static pictures, the rest labels.
        if key.endswith("Button") or key.startswith("FUNC_"):
            return "button"
        if "StaPic" in key or key.endswith("PIC"):
            return "picture"
        return "label"
    if dialog == "composite":
        return COMPOSITE_KINDS.get(key, k)
    if dialog == "profile":
        return PROFILE_KINDS.get(key, k)
    return k


def macro(dialog, name, defined):
    m = f"IDC_{dialog.upper()}_{name}"
    if m not in defined:
        raise SystemExit(f"{m} is not in {HEADER}: regenerate it with tools/skingen/generate")
    return m


def template(dialog, defined):
    m = f"IDD_{dialog.upper()}"
    if m not in defined:
        raise SystemExit(f"{m} is not in {HEADER}: regenerate it with tools/skingen/generate")
    return m


def dialog(layout, name, defined):
    d = layout[name]
    lines = [f"{template(name, defined)} DIALOGEX 0, 0, 200, 120",
             "STYLE DS_SETFONT | WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU",
             "EXSTYLE WS_EX_APPWINDOW" if name == "main" else "EXSTYLE 0",
             'FONT 8, "Tahoma", 400, 0, 0x1',
             "BEGIN"]
    seen = set()
    for c in d["controls"]:
        if c["id"] in seen:
            continue  # variants of one control placed by several skin keys
        seen.add(c["id"])
        visible = c["kind"] != "hidden" and not (name == "main" and c["key"] in MAIN_HIDDEN)
        lines.append(control(kind_of(name, c), macro(name, c["key"], defined), visible))
    for u in d.get("unplaced", []):
        if u["id"] not in seen:
            lines.append(control(u["kind"], macro(name, u["name"], defined), u["visible"]))
            seen.add(u["id"])
    lines.append("END")
    return "\n".join(lines)


def main():
    layout = json.load(open(LAYOUT, encoding="utf-8"))
    defined = set(re.findall(r"^#define\s+(\w+)", open(HEADER, encoding="utf-8").read(), re.M))
    parts = ["// Generated by tools/make_resources.py from tools/skingen/layout.json: do not edit.",
             '#include <windows.h>', '#include <commctrl.h>', '#include "control_ids.h"', "",
             "LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL", "",
             dialog(layout, "main", defined), "",
             dialog(layout, "composite", defined), "",
             dialog(layout, "profile", defined), ""]
    with open(OUT, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(parts))


if __name__ == "__main__":
    main()
