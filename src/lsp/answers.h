// The answers to a client's questions about one document: hover, completion,
// definition, references, rename, document symbols and semantic tokens, as
// protocol JSON.
//
// In: the document, its index (score_outline.h) and analysis (for hovers on
//   notes) of the same version, the document's uri, a position inside the
//   document (the caller checks that it is).
// Out: the result value of the request (null where there is nothing to
//   say), or for rename an error text.
// Facts come from the stages: notes from the source map and a silent run of
//   the song (analysis.h), names and token classes from the editor's classes
//   (score_outline.h), commands from command_catalogue.h.
// Thread: any; no state beyond the arguments.
#ifndef QUERN_LSP_ANSWERS_H_
#define QUERN_LSP_ANSWERS_H_

#include <string>

#include <nlohmann/json.hpp>

#include "lsp/analysis.h"
#include "lsp/document.h"
#include "lsp/score_outline.h"

using Json = nlohmann::json;

Json HoverAt(Analysis* analysis, const Document& document, const ScoreIndex& index,
             TextPosition position);
Json CompletionAt(const Document& document, const ScoreIndex& index, TextPosition position);
Json DefinitionAt(const Document& document, const ScoreIndex& index, const std::string& uri,
                  TextPosition position);
Json ReferencesAt(const ScoreIndex& index, const std::string& uri, TextPosition position,
                  bool include_declaration);
// A workspace edit renaming the macro at position; false with *error when
// there is none there, the new name cannot be called or another macro has it.
bool RenameAt(const ScoreIndex& index, const std::string& uri, TextPosition position,
              const std::string& new_name, Json* edit, std::string* error);
Json DocumentSymbols(const Document& document, const ScoreIndex& index);
Json SemanticTokens(const ScoreIndex& index);
// The token types, one per ScoreClass in its order.
Json SemanticTokensLegend();

Json RangeJson(const TextRange& range);

#endif  // QUERN_LSP_ANSWERS_H_
