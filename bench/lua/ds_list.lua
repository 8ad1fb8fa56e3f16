-- List add and sort of random reals:
--   l = ds_list_create(); for (i = 0; i < n; i += 1) ds_list_add(l, random(1000000)); ds_list_sort(l, 1);
local n = tonumber(arg[1])
local t = os.clock()
local l = {}
for i = 1, n do l[#l + 1] = math.random() * 1000000 end
table.sort(l)
io.write(os.clock() - t, " ", #l, "\n")
