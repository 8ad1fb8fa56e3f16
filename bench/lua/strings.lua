-- A string built from n pieces (bench/vm/strings.zbl), the way Lua builds one: the pieces go
-- into a table and are joined once. The time of appending with `..` (a new string each
-- time) follows on the same line.
local n = tonumber(arg[1])
local t = os.clock()
local parts = {}
for i = 1, n do parts[i] = "ab" end
local s = table.concat(parts)
local joined = os.clock() - t
t = os.clock()
local c = ""
for _ = 1, n do c = c .. "ab" end
io.write(joined, " ", #s, " ", os.clock() - t, " ", #c, "\n")
