-- Grid region operations on a w x w grid, rounds times: add 1 to every cell, then sum the
-- middle region (w/5 .. 4w/5 - 1 both ways):
--   ds_grid_add_region(g, 0, 0, w - 1, w - 1, 1); s += ds_grid_get_sum(g, a, a, b, b);
local w, rounds = tonumber(arg[1]), tonumber(arg[2])
local t = os.clock()
local g = {}
for x = 0, w - 1 do
  local column = {}
  for y = 0, w - 1 do column[y] = 0 end
  g[x] = column
end
local a, b = w // 5, 4 * w // 5 - 1
local s = 0
for r = 1, rounds do
  for x = 0, w - 1 do
    local column = g[x]
    for y = 0, w - 1 do column[y] = column[y] + 1 end
  end
  for x = a, b do
    local column = g[x]
    for y = a, b do s = s + column[y] end
  end
end
io.write(os.clock() - t, " ", s, "\n")
