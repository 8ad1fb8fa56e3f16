#!/usr/bin/env python3
# Oracle of the date built-ins' calendar work, from Python's datetime and zoneinfo (which reads
# the time-zone files itself, independent of the C library). One request a line on standard
# input, one answer a line on standard output:
#   create TZ Y M D h m s   -> seconds since 1970 UTC of those local fields, or "skip" when the
#                              day does not exist or the local time does not exist or exists
#                              twice (daylight saving)
#   parts TZ seconds        -> local "Y M D h m s weekday yday" (weekday 0 = Sunday,
#                              yday 0 = 1 January)
#   incmonth seconds n      -> the seconds with n months added to the UTC fields (a day past
#                              the month's end carries into the next), or "skip"
#   format TZ seconds       -> "%d/%m/%Y %H:%M:%S" of the local fields
import sys
from datetime import datetime, timedelta, timezone
from zoneinfo import ZoneInfo

UTC = timezone.utc


def create(tz, y, mo, d, h, mi, s):
    zone = ZoneInfo(tz)
    try:
        naive = datetime(y, mo, d, h, mi, s)
    except ValueError:
        return "skip"  # no such day
    first = naive.replace(tzinfo=zone, fold=0)
    second = naive.replace(tzinfo=zone, fold=1)
    ts = first.timestamp()
    if ts != second.timestamp():
        return "skip"  # twice (fold) or never (gap)
    back = datetime.fromtimestamp(ts, zone).replace(tzinfo=None)
    if back != naive:
        return "skip"
    return str(int(ts))


def parts(tz, seconds):
    t = datetime.fromtimestamp(seconds, ZoneInfo(tz))
    weekday = (t.weekday() + 1) % 7
    yday = t.timetuple().tm_yday - 1
    return f"{t.year} {t.month} {t.day} {t.hour} {t.minute} {t.second} {weekday} {yday}"


def incmonth(seconds, n):
    t = datetime.fromtimestamp(seconds, UTC)
    total = t.month - 1 + n
    y = t.year + total // 12
    m = total % 12 + 1
    if not 1 <= y <= 9998:
        return "skip"
    r = datetime(y, m, 1, t.hour, t.minute, t.second, tzinfo=UTC) + timedelta(days=t.day - 1)
    return str(int(r.timestamp()))


def fmt(tz, seconds):
    t = datetime.fromtimestamp(seconds, ZoneInfo(tz))
    return f"{t.day:02d}/{t.month:02d}/{t.year:04d} {t.hour:02d}:{t.minute:02d}:{t.second:02d}"


for line in sys.stdin:
    w = line.split()
    if not w:
        continue
    if w[0] == "create":
        print(create(w[1], *map(int, w[2:8])))
    elif w[0] == "parts":
        print(parts(w[1], int(w[2])))
    elif w[0] == "incmonth":
        print(incmonth(int(w[1]), int(w[2])))
    elif w[0] == "format":
        print(fmt(w[1], int(w[2])))
    else:
        print("?")
