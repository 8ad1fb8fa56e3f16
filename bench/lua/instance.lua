-- Reads and writes of an instance's variables (fields of a table standing for self):
--   for (i = 0; i < n; i += 1) { hp = hp + i; mp = hp - 1; }
local n = tonumber(arg[1])
local self = { hp = 0, mp = 0 }
local t = os.clock()
local i = 0
while i < n do
  self.hp = self.hp + i
  self.mp = self.hp - 1
  i = i + 1
end
io.write(os.clock() - t, " ", self.mp, "\n")
