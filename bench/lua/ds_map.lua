-- Map set and find with string keys:
--   m = ds_map_create(); for (i = 0; i < n; i += 1) ds_map_add(m, "key" + string(i), i);
--   for (i = 0; i < n; i += 1) s += ds_map_find_value(m, "key" + string(i));
local n = tonumber(arg[1])
local t = os.clock()
local m = {}
for i = 0, n - 1 do m["key" .. tostring(i)] = i end
local s = 0
for i = 0, n - 1 do s = s + m["key" .. tostring(i)] end
io.write(os.clock() - t, " ", s, "\n")
