// The subcommands of the quern command line. Each takes the arguments after
// its own name and returns the process exit status: 0 success, 1 a score
// with errors, 2 a usage error or a file that cannot be read or written.
#ifndef QUERN_APP_QUERN_CLI_H_
#define QUERN_APP_QUERN_CLI_H_

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int RunCompile(const Args& args);  // compile SCORE [-o OUT.xrt] ...
int RunTokens(const Args& args);   // tokens SCORE
int RunEvents(const Args& args);   // events SCORE
int RunPlay(const Args& args);     // play SCORE|SONG.xrt ...
int RunTrace(const Args& args);    // trace SCORE|SONG.xrt [--ticks N]
int RunExport(const Args& args);   // export SCORE|SONG.xrt -o OUT.mid
int RunRender(const Args& args);   // render SCORE|SONG.xrt -o OUT.wav
int RunPorts(const Args& args);    // ports
int RunMap(const Args& args);      // map SCORE
int RunRoll(const Args& args);     // roll SCORE|SONG.xrt -o OUT.svg
int RunHtml(const Args& args);     // html [--form 1|2] FILE
int RunImport(const Args& args);   // import SONG.mid [-o SCORE.qrn] [--grid N] ...
int RunLsp(const Args& args);      // lsp [--output OUT] [--soundfont FILE]

#endif  // QUERN_APP_QUERN_CLI_H_
