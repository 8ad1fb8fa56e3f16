-- Filling an array and reading it back, rounds times:
--   for (i = 0; i < n; i += 1) a[i] = i; s = 0; for (i = 0; i < n; i += 1) s += a[i];
local n, rounds = tonumber(arg[1]), tonumber(arg[2])
local t = os.clock()
local s = 0
for r = 1, rounds do
  local a = {}
  local i = 0
  while i < n do
    a[i] = i
    i = i + 1
  end
  i = 0
  while i < n do
    s = s + a[i]
    i = i + 1
  end
end
io.write(os.clock() - t, " ", s, "\n")
