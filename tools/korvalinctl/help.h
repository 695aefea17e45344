// korvalinctl's help texts: the whole usage and one text per command.
#pragma once

#include <string_view>

namespace kvctl {

inline constexpr std::string_view kUsage =
    R"(Usage: korvalinctl [--sim STATE] [--trace FILE] [--round-trip MS] [--sim-fault F] COMMAND [ARGS...]

Reads and changes the keyboard's configuration: key tables, macros, lighting
and report rate; backs up and restores the whole keyboard. Every change is
written to the keyboard at once.

Options:
  --sim STATE       use a simulated keyboard whose memory is the state file STATE
                    (without it: the keyboard attached, through its hidraw
                    nodes on Linux or Tessaro.dll beside the program on Windows)
  --trace FILE      append every report to FILE: OUT <hex> sent, IN <hex> received
  --round-trip MS   the simulated keyboard's round trip per report, in ms
                    (default 2, decimals allowed; 0 for fast runs)
  --sim-fault F     faults of the simulated keyboard: its control pipe's fault
                    commands without the word fault, separated by ';'
                    ('after 20; lie 1': the first write from the 21st report
                    on is acknowledged but not stored)
  --verify          after writing (write, restore, report-rate and the
                    lighting changes), read back what was written; a
                    difference ends with status 1 and names the region, the
                    first differing offset, the byte expected and the one found
  --help            this text; COMMAND --help explains one command

Commands:
  sim-new [--macro-units N] [--profile P]   create STATE with factory contents (needs --sim)
  info                                      JSON: active profile, macro memory, effect codes
  read FILE                                 the whole keyboard into the profile file FILE
  write FILE [--verify]                     check FILE, load it, write all three profiles
  backup FILE                               everything a user can change on the keyboard into FILE
  restore FILE [--verify]                   check the backup FILE whole, then write it all back
  switch P                                  make on-board profile P active
  report-rate INDEX [--profile P] [--verify]  set the report rate index 0-3
  lighting show [--profile P]               JSON of the lighting model
  lighting effect CODE | brightness N | speed POSITION | user-mode M | paint-tool 0|1  [--profile P]
  lighting paint KEY... | erase KEY... | fill | clear | reset   [--profile P]
                                            (every change takes --verify)
  dump info | settings | colours P | keys P | default-keys | macros
                                            keyboard memory in hex, 16 bytes a line
  file new FILE | file check FILE | file show FILE
                                            profile files without a keyboard
  devices                                   JSON: the keyboards found and the one in use
  doctor [--json]                           why the keyboard does not work: each check and a verdict

P is an on-board profile 0-2; --profile defaults to the active profile.
KEY is a key code (0x01E) or a key name (A, Esc, Space, Fn, ...).
Numbers are decimal or 0x-prefixed hexadecimal.

Exit status: 0 done; 1 the keyboard or a file write failed, --verify found
a difference, or the keyboard may not be opened (the message names its node
and the udev rule); 2 bad input (an unknown command or option, a number out
of range, a missing or invalid file, an effect or key the keyboard does not
have, a backup its macro memory cannot take), with nothing written to the
keyboard or to any file but the trace; 3 no keyboard.
)";

struct CommandHelp {
  std::string_view command;
  std::string_view text;
};

inline constexpr CommandHelp kCommandHelp[] = {
    {"devices", R"(Usage: korvalinctl devices

Prints what the transport finds as JSON: the number of keyboards on each of
the three collections the program uses (command, consumer, led) and, on
Linux, each keyboard with its hidraw nodes; "in_use" marks the one every
other command reaches (with two attached, the first found, kept for the run).
With --sim, the simulated keyboard. Exit status 3 when there is none.
)"},
    {"doctor", R"(Usage: korvalinctl doctor [--json]

Checks, in order, and prints one line per check (ok or problem, what was
found and, for a problem, the next step):
  keyboard on the bus   vendor and product id, its collections and their usage pages
  command collection    found and opened, or: permission denied, in use by
                        another program, absent
  node, udev rule, seat (Linux) the hidraw node's owner, mode and ACL; whether
                        60-korvalin.rules is installed in /usr/lib/udev/rules.d
                        or /etc/udev/rules.d; whether you are logged in at a
                        local seat (the rule's uaccess serves only that user)
  information block     one read of it
  round trips           20 timed reads: median and worst against the 2 ms a
                        full-speed keyboard answers in
It ends with one verdict line. --json prints the same as one object
({"checks": [{"check", "status", "detail", "next"}...], "round_trips_us",
"usable", "verdict"}). With --sim, the simulated keyboard's protocol.
Exit status 0 when every check passes, 1 when one found a problem (the
verdict says which), 2 for bad arguments.
)"},
    {"sim-new", R"(Usage: korvalinctl --sim STATE sim-new [--macro-units N] [--profile P]

Creates (or replaces) the state file STATE of a simulated keyboard with
factory contents: N units of 128 bytes of macro memory (1-255, default 64)
and on-board profile P active (0-2, default 0).
)"},
    {"info", R"(Usage: korvalinctl info

Prints the keyboard's information block as JSON:
  {"active_profile": P, "macro_memory": BYTES, "effects": [codes]}
where effects are the lighting effect codes the keyboard offers, in order.
)"},
    {"read", R"(Usage: korvalinctl read FILE

Reads the key tables of all three on-board profiles and the macro memory
into the profile file FILE, replacing it whole. FILE's folder must exist.
)"},
    {"write", R"(Usage: korvalinctl write FILE [--verify]

Checks the profile file FILE, loads it, and writes its macros and the key
tables of all three on-board profiles to the keyboard in one configuration
bracket, as importing a profile does. A file that is not a valid profile
file, or whose macros do not fit the keyboard's macro memory, is refused
before anything is written.

--verify reads the macro image and the three key tables back and compares
them with what was written; a difference ends with exit status 1 and one
line such as
  korvalinctl: write: verify failed: keys 1 differs at offset 0x0039: expected 0x05, found 0x00
(regions and offsets as dump shows them).
)"},
    {"backup", R"(Usage: korvalinctl backup FILE

Reads everything a user can change on the keyboard: the key tables, the
settings records (lighting, report rate) and the per-key lighting regions of
all three profiles, the whole macro memory and the active profile, and
writes them with the size of the keyboard's macro memory into FILE (a
versioned format with a CRC-32 checksum; a new file replaces an old one
only once it is complete). FILE's folder must exist.
)"},
    {"restore", R"(Usage: korvalinctl restore FILE [--verify]

Checks the whole backup FILE first: format, version, length and checksum,
then its macro memory against the keyboard's. Anything wrong is refused with
one line and exit status 2, and nothing is written. Then writes every region
in one configuration bracket (macro memory, key tables, settings records,
per-key regions) and makes the backup's profile active.

A keyboard with more macro memory takes the backup whole and keeps the rest
of its own. A keyboard with less takes it cut to its size when the macros
the backup holds (all the keyboard can reach of its macro image) fit there;
otherwise the backup is refused, naming the bytes its macros need.

--verify reads the whole keyboard back and compares it with what was
written; a difference ends with exit status 1 and one line naming the
region, the first differing offset, the byte expected and the byte found.
)"},
    {"switch", R"(Usage: korvalinctl switch P

Makes on-board profile P (0-2) the keyboard's active profile.
)"},
    {"report-rate", R"(Usage: korvalinctl report-rate INDEX [--profile P] [--verify]

Sets the report rate index 0-3 (the buttons report1-report4) of profile P,
written at once to byte 15 of the profile's settings record. --verify reads
the byte back.
)"},
    {"lighting", R"(Usage: korvalinctl lighting SUBCOMMAND [ARGS...] [--profile P]

Reads the lighting of profile P from the keyboard, then:
  show              prints the lighting model as JSON (the effects offered,
                    effect, brightness, speed, user mode, paint tool, report
                    rate, colours as #RRGGBB, random flags and, when the
                    keyboard has the per-key effect, the ten user patterns)
  effect CODE       selects a lighting effect the keyboard offers (1-28, 254)
  brightness N      brightness 0-4; nothing is written when unchanged
  speed POSITION    the speed control's position 0-4 (speed value 4 - POSITION);
                    nothing is written when unchanged
  user-mode M       selects user pattern M (0-9) of the per-key effect
  paint-tool 0|1    the tool for key clicks: 0 paint, 1 erase
  paint KEY...      lights the keys in the current user pattern (selects the
                    paint tool first when erase is selected)
  erase KEY...      unlights the keys in the current user pattern (selects the
                    erase tool first)
  fill              lights every key of the current user pattern
  clear             unlights every key of the current user pattern
  reset             writes the lighting defaults: effect 1, brightness 4,
                    speed 2, the built-in user patterns
User modes, patterns and tools need a keyboard with the per-key effect 254.
KEY is a key code (0x01E) or a key name (A, Esc, Space, Fn, ...).
--verify (every subcommand but show) reads the profile's settings record and
per-key region back and compares them with what the change wrote.
)"},
    {"dump", R"(Usage: korvalinctl dump info | settings | colours P | keys P | default-keys | macros

Prints keyboard memory in hexadecimal, 16 bytes a line after the offset:
  info          the 48-byte information block
  settings      the settings records of the three profiles (3 x 42 bytes)
  colours P     the 256-byte per-key lighting region of profile P
  keys P        the 324-byte key table of profile P
  default-keys  the keyboard's factory key table (324 bytes)
  macros        the whole macro memory
)"},
    {"file", R"(Usage: korvalinctl file new FILE | file check FILE | file show FILE

Profile files, without a keyboard:
  new FILE      writes a profile file with every key at its factory function
  check FILE    checks FILE and prints what it holds; exit status 2 when invalid
  show FILE     prints as JSON the entries that are not at their factory
                function, the macros with their actions, and the strings
                (program paths and texts) of the keys
)"},
};

}  // namespace kvctl
