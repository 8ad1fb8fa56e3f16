-- Recursive Fibonacci (bench/vm/fib.zbl).
local n = tonumber(arg[1])
local function fib(k)
  if k < 2 then return k end
  return fib(k - 1) + fib(k - 2)
end
local t = os.clock()
local r = fib(n)
io.write(os.clock() - t, " ", r, "\n")
