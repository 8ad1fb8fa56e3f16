-- An object's fields read and written each round (bench/vm/fields.zbl): a table stands for
-- the instance.
local n = tonumber(arg[1])
local self = {px = 0, vx = 1}
local t = os.clock()
for _ = 1, n do
  self.px = self.px + self.vx
  if self.px > 1000 then self.px = 0 end
end
io.write(os.clock() - t, " ", self.px, "\n")
