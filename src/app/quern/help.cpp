#include "app/quern/help.h"

#include <cstdio>

#ifndef QUERN_VERSION
#define QUERN_VERSION "unknown"
#endif

namespace {

struct CommandHelp {
  const char* name;
  const char* usage;    // the arguments after "quern NAME"
  const char* summary;  // one line for the command list
  const char* details;  // what it does and its options, ready to print
  bool range = false;   // takes the range options below
};

// Where to start and stop, and which tracks to hear: play, trace, export,
// render and roll.
#define QUERN_RANGE_USAGE \
  " [--from LINE:COL|--from-tick N] [--to LINE:COL|--to-tick N] [--mute NAMES] [--solo NAMES]"

constexpr const char* kRangeOptions =
    R"(  --from LINE:COL        start at the first note at or after this place of
                         the score (line and byte column from 0, as the
                         report counts them) on the same track's lines, or
                         on the same macro or common line
  --from-tick N          start at tick N
  --to LINE:COL          stop at the first note at or after this place
  --to-tick N            stop at tick N
  --mute NAMES           withhold the notes of these tracks (track names
                         separated by commas)
  --solo NAMES           play the notes of these tracks only
A start sends the state in effect there first (bank, program, controllers,
pitch bend, tempo). Ticks count from the song's start, as --ticks does: a
start at or past the --ticks bound is refused, and --from and --to look for
their note up to the bound (for play without --ticks, up to tick 1000000).
Give each end once, as a place or as a tick.
A track is named by its whole name, or by the first 32 bytes the report
shows when only one track has them. --from, --to, --mute and --solo need a
score.
)";

constexpr const char* kExitStatus =
    "Exit status: 0 success, 1 the score has errors, 2 a usage error or a file\n"
    "that cannot be read or written (standard output included). SIGINT, SIGTERM\n"
    "or SIGHUP removes the file being written and ends by that signal; play and\n"
    "lsp silence what sounds first.\n";

constexpr CommandHelp kCommands[] = {
    {"compile",
     "SCORE [-o OUT.xrt] [--encoding auto|cp932|utf-8] [--report-encoding utf-8|cp932] "
     "[--diagnostics report|gcc|json]",
     "compile a score into a song image (.xrt) and print the compiler report",
     R"(Compiles SCORE and prints the compiler report: one line per message
("LINE : COL : Error TEXT", line and byte column counted from 0), then one
statistics line per track. With no errors it writes the song image, then
prints "Object Size : N bytes".

Options:
  -o, --output OUT.xrt   where the song image goes (default: beside SCORE,
                         with the extension .xrt; needed when SCORE is not
                         a regular file)
  --encoding auto|cp932|utf-8
                         how SCORE is read (default auto: a valid UTF-8 file
                         with non-ASCII bytes is converted, any other file is
                         taken as Shift-JIS)
  --report-encoding utf-8|cp932
                         the encoding of the report (default utf-8)
  --diagnostics report|gcc|json
                         report: the compiler report (the default);
                         gcc: only the messages, on standard error, as
                         "SCORE:LINE:COL: error: TEXT" (LINE from 1, COL in
                         characters from 1; "warning" and "fatal error" too);
                         json: only the messages, as one JSON array on
                         standard output, each with line and column (from 0,
                         as the report counts), byte_column,
                         character_column, severity and message
)"},
    {"tokens", "SCORE [--encoding auto|cp932|utf-8] [--report-encoding utf-8|cp932]",
     "list the tokens the reader yields, per track",
     R"(Prints "Track NAME", then one "LINE:COL TOKEN [VALUE]" line per token the
reader yields for that track, up to #END. The compiler report goes to
standard error.

Options:
  --encoding, --report-encoding   as for compile
)"},
    {"events", "SCORE [--encoding auto|cp932|utf-8] [--report-encoding utf-8|cp932]",
     "list the event records of every track",
     R"(Prints "Track NAME", then the track's final event records, one
"TIME KIND PARAM VALUE" line each. The compiler report goes to standard
error.

Options:
  --encoding, --report-encoding   as for compile
)"},
    {"play",
     "SCORE|SONG.xrt [--output synth|alsa:PORT|none] [--soundfont FILE] [--interval "
     "MS] [--ticks N] [--watch]" QUERN_RANGE_USAGE,
     "play a score or song image",
     R"(Compiles SCORE (a .xrt file is loaded as it is), then plays it until the
song ends or Ctrl-C, showing the elapsed and total time on standard error.

Options:
  --output synth|alsa:PORT|none
                         the built-in synthesizer (the default), an ALSA
                         port (see quern ports), or no sound
  --soundfont FILE       the SoundFont of the built-in synthesizer (default:
                         a General MIDI SoundFont under /usr/share/sounds/sf2)
  --interval MS          the player's timer interval, 1 to 1000 (default 4)
  --ticks N              stop after tick N of the song, counted from its
                         start (default: play to the end)
  --watch                watch SCORE while it plays: each save that compiles
                         without errors takes over at the tick the song has
                         reached (notes that stay the same sound on); a save
                         with errors prints its report and the last good
                         version plays on. Runs until Ctrl-C.
)",
     true},
    {"trace", "SCORE|SONG.xrt [--ticks N] [--swap-at N NEW]" QUERN_RANGE_USAGE,
     "print every MIDI message the song sends, offline",
     R"(Runs the sequencer offline and prints one line per message:
"TICK HEX..." (for instance "1 91 3c 50") or "TICK tempo N". With --from,
the state sent at the start comes first, all at the start tick; ticks count
from the song's start.

Options:
  --ticks N              stop after tick N of the song, counted from its
                         start (default 1000000)
  --swap-at N NEW        play the song up to tick N - 1, then swap in NEW
                         (a score or song image) at tick N, as live editing
                         does: notes the same in both songs sound on, the
                         others are released, and only the channel state
                         that differs is sent
)",
     true},
    {"export", "SCORE|SONG.xrt -o OUT.mid [--ticks N]" QUERN_RANGE_USAGE,
     "write a Standard MIDI File",
     R"(Writes the song's messages, at the same times, as a Standard MIDI File.

Options:
  -o OUT.mid             the file to write (required)
  --ticks N              stop after tick N of the song, counted from its
                         start (default 1000000)
)",
     true},
    {"import", "SONG.mid [-o SCORE.qrn] [--grid N] [--encoding cp932|utf-8]",
     "turn a Standard MIDI File into a score",
     R"(Reads a Standard MIDI File (format 0 or 1) and writes a score that
compiles back to the same events at the same ticks. The report (tracks,
notes, and anything changed or left out) goes to standard error.

Options:
  -o SCORE.qrn           the file to write (default: SONG.qrn beside SONG.mid)
  --grid N               move note starts and ends to the nearest 1/N note
  --encoding ENC         cp932 or utf-8 (default: Shift-JIS when every
                         character fits, else UTF-8)
)",
     false},
    {"render", "SCORE|SONG.xrt -o OUT.wav [--soundfont FILE] [--ticks N]" QUERN_RANGE_USAGE,
     "render the song through the synthesizer into a WAV file",
     R"(Plays the song through the built-in synthesizer offline into a WAV file
(44.1 kHz, 16-bit stereo).

Options:
  -o OUT.wav             the file to write (required)
  --soundfont FILE       as for play
  --ticks N              stop after tick N of the song, counted from its
                         start (default 1000000)
)",
     true},
    {"roll", "SCORE|SONG.xrt -o OUT.svg [--width PX] [--ticks N]" QUERN_RANGE_USAGE,
     "draw the song's notes as a piano roll in an SVG file",
     R"(Writes one SVG picture: a keyboard with octave numbers as scores write
them (c4 is key 60), a ruler with bar numbers and tempo changes, bar and
beat lines, and one rectangle per note, coloured by track, with a title
(track, note, bar:beat, length in ticks, velocity, line:col from 0, then
"< line:col" for each macro call site, innermost first) and
data-line/data-col attributes (from 0). The range options select the ticks and tracks drawn.
A song that never ends is drawn up to --ticks, and the picture says so.

Options:
  -o OUT.svg             the file to write (required)
  --width PX             the picture's width (default 1600)
  --ticks N              stop after tick N of the song, counted from its
                         start (default 1000000)
)",
     true},
    {"map", "SCORE [--ticks N]", "print where each note the song strikes is written",
     R"(Prints one line per note-on, in the order trace sends them:
"TICK TRACK LINE:COL", then " < LINE:COL" for each macro call it comes
from, innermost first (lines and byte columns from 0, as the report counts
them).

Options:
  --ticks N              stop after tick N of the song, counted from its
                         start (default 1000000)
)"},
    {"ports", "", "list the ALSA MIDI output ports",
     R"(Lists the ALSA MIDI output ports, one "N: NAME" line each, for
quern play --output alsa:PORT.
)"},
    {"html", "[--form 1|2] FILE", "print a score converted for an HTML page",
     R"(Prints FILE converted for an HTML page, as the editor puts it on the
clipboard, in the file's own encoding.

Options:
  --form 1|2             1: characters escaped (the default); 2: also a
                         line break tag at every line end
)"},
    {"lsp", "[--output synth|alsa:PORT|none] [--soundfont FILE]",
     "the language server, for editors, on standard input and output",
     R"(Speaks the Language Server Protocol (JSON-RPC with Content-Length
framing) on standard input and output: diagnostics from the compiler as
you type, hovers on notes, commands and macro calls, completion, go to
definition, references and rename of macros, document symbols, semantic
tokens, and the commands quern.play, quern.playFromCursor,
quern.playSelection and quern.stop. The outputs load when a song is first
played.

Options:
  --output, --soundfont   as for play
)"},
};

const CommandHelp* FindCommand(const std::string& name) {
  for (const CommandHelp& c : kCommands) {
    if (name == c.name) return &c;
  }
  return nullptr;
}

void PrintUsage(std::FILE* out, const CommandHelp& c) {
  std::fprintf(out, "quern %s%s%s\n", c.name, c.usage[0] ? " " : "", c.usage);
}

}  // namespace

const char* QuernVersion() {
  return QUERN_VERSION;
}

bool WantsHelp(const Args& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

bool IsKnownCommand(const std::string& command) {
  return FindCommand(command) != nullptr;
}

void PrintProgramHelp() {
  std::printf(
      "usage: quern COMMAND [ARGUMENTS]\n"
      "       quern COMMAND --help\n"
      "       quern --help | --version\n\n"
      "Compiles, inspects, plays and converts Quern MIDI scores (.qrn) and song\n"
      "images (.xrt). The editor is quern-editor.\n\n"
      "Commands:\n");
  for (const CommandHelp& c : kCommands) std::printf("  %-9s %s\n", c.name, c.summary);
  std::printf("\n%s\nquern COMMAND --help describes a command and its options.\n", kExitStatus);
}

void PrintCommandHelp(const std::string& command) {
  const CommandHelp* c = FindCommand(command);
  if (c == nullptr) return;
  std::printf("usage: ");
  PrintUsage(stdout, *c);
  std::printf("\n%s", c->details);
  if (c->range) std::printf("%s", kRangeOptions);
  std::printf("\n%s", kExitStatus);
}

void PrintVersion() {
  std::printf("quern (Quern MIDI) %s\n", QuernVersion());
}

void PrintUsageLines() {
  std::fprintf(stderr, "usage:\n");
  for (const CommandHelp& c : kCommands) {
    std::fprintf(stderr, "  ");
    PrintUsage(stderr, c);
  }
  std::fprintf(stderr, "  quern --help | --version\n");
}

int ReportUsageError(const std::string& command, const std::string& problem) {
  const std::string who = command.empty() ? "quern" : "quern " + command;
  std::fprintf(stderr, "%s: %s (see '%s --help')\n", who.c_str(), problem.c_str(), who.c_str());
  return 2;
}
