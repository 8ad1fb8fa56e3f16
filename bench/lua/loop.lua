-- Arithmetic in a while loop, as the ZBL benchmark writes it:
--   var i, s; s = 0; for (i = 0; i < n; i += 1) s = s + i * 2 - (i mod 7);
local n = tonumber(arg[1])
local t = os.clock()
local s = 0
local i = 0
while i < n do
  s = s + i * 2 - (i % 7)
  i = i + 1
end
io.write(os.clock() - t, " ", s, "\n")
