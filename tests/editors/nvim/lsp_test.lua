-- Headless Neovim against `quern lsp`, set up as the README says: opens a
-- score with errors, waits for the diagnostics, hovers a note, goes to a
-- macro's definition, renames the macro and plays from the cursor, each
-- through Neovim's own LSP client.
-- Run by run.sh, which writes the score and passes QUERN, SCORE, SETUP
-- (editors/nvim/quern.lua) and CAPTURE (where to write the hover as Neovim
-- shows it; may be empty).
local quern, score, capture = os.getenv("QUERN"), os.getenv("SCORE"), os.getenv("CAPTURE")
local failures = 0

local function check(what, ok, detail)
  if not ok then
    failures = failures + 1
    io.stderr:write("FAIL " .. what .. ": " .. vim.inspect(detail) .. "\n")
  else
    io.stderr:write("ok   " .. what .. "\n")
  end
end

-- The set-up the README gives, from editors/nvim/quern.lua, with the quern
-- under test playing on no output.
vim.g.quern_command = { quern, "lsp", "--output", "none" }
dofile(os.getenv("SETUP"))
vim.cmd("edit " .. vim.fn.fnameescape(score))
local buffer = vim.api.nvim_get_current_buf()
local id = vim.g.quern_lsp_client
check("started", id ~= nil and vim.bo.filetype == "quern", id)

-- Line 3 "A ドレ x": each byte of the two full-width characters and the "x"
-- are undefined commands. Neovim turns the server's UTF-16 columns into
-- byte columns: "x" at UTF-16 column 7 is at byte column 9.
vim.wait(10000, function() return #vim.diagnostic.get(buffer) > 0 end, 50)
local diagnostics = vim.diagnostic.get(buffer)
local columns = {}
for _, d in ipairs(diagnostics) do
  table.insert(columns, d.lnum .. ":" .. d.col .. "-" .. d.end_col .. ":" .. d.severity)
end
check("diagnostics", table.concat(columns, " ") == "2:2-5:1 2:2-5:1 2:5-8:1 2:5-8:1 2:9-10:1",
      columns)

-- Hover the note "c" of line 2 and read the floating window Neovim opens.
vim.api.nvim_win_set_cursor(0, { 2, 8 })
vim.lsp.buf.hover()
local float
vim.wait(5000, function()
  for _, win in ipairs(vim.api.nvim_list_wins()) do
    if vim.api.nvim_win_get_config(win).relative ~= "" then float = win return true end
  end
  return false
end, 50)
local hover = float and vim.api.nvim_buf_get_lines(vim.api.nvim_win_get_buf(float), 0, -1, false) or {}
check("hover", table.concat(hover, "\n"):find("MIDI 60 · 48 ticks (1/4) · channel 2", 1, true)
      and table.concat(hover, "\n"):find("first played at tick 0, bar 1:1", 1, true), hover)
if capture and capture ~= "" and float then
  local lines = vim.api.nvim_buf_get_lines(buffer, 0, -1, false)
  local out = { lines[1], lines[2] }
  for _, l in ipairs(hover) do table.insert(out, "        │ " .. l) end
  vim.fn.writefile(out, capture)
end
if float then vim.api.nvim_win_close(float, true) end

-- Go to the definition of the call "%M" on line 2.
vim.api.nvim_win_set_cursor(0, { 2, 13 })
vim.lsp.buf.definition()
vim.wait(5000, function() return vim.api.nvim_win_get_cursor(0)[1] == 1 end, 50)
check("definition", vim.deep_equal(vim.api.nvim_win_get_cursor(0), { 1, 0 }),
      vim.api.nvim_win_get_cursor(0))

-- Rename the macro from its call on line 4: its definition and both calls.
vim.api.nvim_win_set_cursor(0, { 4, 3 })
vim.lsp.buf.rename("Riff")
vim.wait(5000, function() return vim.api.nvim_buf_get_lines(buffer, 0, 1, false)[1]:find("Riff") end, 50)
local lines = vim.api.nvim_buf_get_lines(buffer, 0, -1, false)
check("rename", lines[1] == "%Riff c d" and lines[2] == "A o4 l4 c d %Riff"
      and lines[4] == "B %Riff", lines)

-- Mend line 3 as one would type it; the diagnostics go once the change has
-- been compiled. Then play from the cursor with the key the set-up maps.
vim.api.nvim_buf_set_lines(buffer, 2, 3, false, { "A e f" })
vim.wait(10000, function() return #vim.diagnostic.get(buffer) == 0 end, 50)
check("mended", #vim.diagnostic.get(buffer) == 0, vim.diagnostic.get(buffer))
vim.api.nvim_win_set_cursor(0, { 2, 8 })
vim.g.quern_play_result = nil
vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes("<S-F12>", true, false, true), "x", false)
vim.wait(5000, function() return vim.g.quern_play_result ~= nil end, 50)
check("play from the cursor", vim.g.quern_play_result == "ok", vim.g.quern_play_result)

vim.lsp.stop_client(id)
if failures > 0 then vim.cmd("cquit 1") else vim.cmd("qall!") end
