-- A table used as an array, filled and summed p times (bench/vm/arrays.zbl).
local n, p = tonumber(arg[1]), tonumber(arg[2])
local t = os.clock()
local a = {}
local s = 0
for _ = 1, p do
  for i = 1, n do a[i] = (i - 1) % 1000 end
  for i = 1, n do s = s + a[i] end
end
io.write(os.clock() - t, " ", s, "\n")
