-- Building a string one piece at a time:
--   var s, i; s = ""; for (i = 0; i < n; i += 1) s = s + "x";
local n = tonumber(arg[1])
local t = os.clock()
local s = ""
local i = 0
while i < n do
  s = s .. "x"
  i = i + 1
end
io.write(os.clock() - t, " ", #s, "\n")
