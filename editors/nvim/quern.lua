-- Quern MIDI scores in Neovim 0.7 or later: starts `quern lsp` for *.qrn
-- files and maps keys to play through it:
--   <F12> the score, <S-F12> from the cursor, <F11> stop.
-- Put this file in ~/.config/nvim/plugin/ or `dofile` it from init.lua. Set
-- vim.g.quern_command first to run another quern or choose the output, for
-- example { "quern", "lsp", "--output", "alsa:FLUID" }.
local function start()
  local id = vim.g.quern_lsp_client
  if not id or not vim.lsp.get_client_by_id(id) then
    id = vim.lsp.start_client({
      name = "quern",
      cmd = vim.g.quern_command or { "quern", "lsp" },
      root_dir = vim.fn.expand("%:p:h"),
    })
    vim.g.quern_lsp_client = id
  end
  vim.lsp.buf_attach_client(0, id)

  local function run(command, arguments)
    vim.lsp.buf_request(0, "workspace/executeCommand", { command = command, arguments = arguments },
      function(err)
        vim.g.quern_play_result = err and err.message or "ok"
        if err then vim.notify("quern: " .. err.message, vim.log.levels.WARN) end
      end)
  end
  -- The caret as the protocol counts it: the line from 0, UTF-16 units.
  local function caret()
    local row, col = unpack(vim.api.nvim_win_get_cursor(0))
    local _, character = vim.str_utfindex(vim.api.nvim_get_current_line(), col)
    return { line = row - 1, character = character }
  end
  local buffer = { buffer = true }
  vim.keymap.set("n", "<F12>", function() run("quern.play", { vim.uri_from_bufnr(0) }) end, buffer)
  vim.keymap.set("n", "<S-F12>", function()
    run("quern.playFromCursor", { vim.uri_from_bufnr(0), caret() })
  end, buffer)
  vim.keymap.set("n", "<F11>", function() run("quern.stop", {}) end, buffer)
end

vim.api.nvim_create_autocmd({ "BufRead", "BufNewFile" }, {
  pattern = "*.qrn",
  callback = function()
    vim.bo.filetype = "quern"
    start()
  end,
})
