-- Arithmetic in a counted loop on locals (bench/vm/loop.zbl).
local n = tonumber(arg[1])
local t = os.clock()
local s = 0
for i = 0, n - 1 do
  s = s + (i * 2) % 7
end
io.write(os.clock() - t, " ", s, "\n")
