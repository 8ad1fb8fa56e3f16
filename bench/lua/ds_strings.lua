-- String built-ins on a text of n copies of "hello world ", rounds times:
--   t = string_replace_all(s, "world", "there"); p += string_pos("there", t);
--   u = string_upper(t); c += string_count("o", t); d = string_copy(t, 100, 50);
local n, rounds = tonumber(arg[1]), tonumber(arg[2])
local clock = os.clock()
local s = string.rep("hello world ", n)
local p, c, total = 0, 0, 0
for r = 1, rounds do
  local t = string.gsub(s, "world", "there")
  p = p + string.find(t, "there", 1, true)
  local u = string.upper(t)
  local _, count = string.gsub(t, "o", "o")
  c = c + count
  local d = string.sub(t, 100, 149)
  total = total + #u + #d
end
io.write(os.clock() - clock, " ", p + c + total, "\n")
