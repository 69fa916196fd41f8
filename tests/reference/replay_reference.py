#!/usr/bin/env python3
"""A second, independent implementation of the replay rules, written straight from the
rules in plain Python, used to check the program's trace line by line.

    replay_reference.py RACE.TP1 [--resolution TEXT] [--points TEXT] [--heading DEG]
                        [--tilt DEG] [--max-steps N]  > TRACE

It writes the same trace lines as `tideplot replay --trace`. Only well-formed races are
in scope: failures end it with a Python exception.
"""
import argparse
import datetime
import io
import math
import os
import re
import sys

PI = math.atan(1) * 4
EPOCH = datetime.datetime(1899, 12, 30)


def rad(x):
    return PI * x / 180


def get_field(text, index, sep):
    for _ in range(max(index, 0)):
        at = text.find(sep)
        if at < 0:
            return ""
        text = text[at + 1:]
    at = text.find(sep)
    return text if at < 0 else text[:at]


def val(text):
    """Leading-number value: blanks skipped anywhere, sign, digits, one point, exponent."""
    s = "".join(c for c in text if c not in " \t\n")
    m = re.match(r"[+-]?(\d+\.?\d*|\.\d+)([EeDd][+-]?\d+)?", s)
    if not m:
        return 0.0
    return float(m.group(0).replace("D", "e").replace("d", "e"))


def date_value(text):
    m = re.fullmatch(r"\s*(\d{4})-(\d{1,2})-(\d{1,2})\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?\s*", text)
    if not m:
        raise ValueError("not a date: %r" % text)
    y, mo, d, h, mi = (int(g) for g in m.groups()[:5])
    s = int(m.group(6) or 0)
    dt = datetime.datetime(y, mo, d, h, mi, s)  # raises for invalid values
    return (dt - EPOCH).total_seconds() / 86400


def track_point_time(line, sep):
    if line == "":
        return 0.0
    d = get_field(line, 2, sep)
    t = get_field(line, 3, sep)
    text = d[0:4] + "-" + d[4:6] + "-" + d[6:8] + " " + t[0:2] + ":" + t[2:4] + ":" + t[4:6]
    return date_value(text)


def short_way(dlon):
    """A difference of longitude taken the short way round the globe: at most 180 degrees."""
    if dlon > 180:
        return dlon - 360
    if dlon < -180:
        return dlon + 360
    return dlon


def near(lon, ref):
    """lon, or lon one turn round the globe, whichever lies within 180 degrees of ref."""
    if lon - ref > 180:
        return lon - 360
    if lon - ref < -180:
        return lon + 360
    return lon


def fold(lon):
    """A longitude back into -180..180."""
    return lon - 360 if lon > 180 else lon + 360 if lon < -180 else lon


def course_and_distance(p1, p2):
    dy = (p1[0] - p2[0]) * 60
    dlon = short_way(p1[1] - p2[1])
    m = dlon * 60
    mid = (p1[0] + p2[0]) / 2
    dx = math.cos(rad(mid)) * m
    if dy == 0:
        bearing = 90.0 if dlon > 0 else 270.0
    else:
        bearing = math.atan(dx / dy) * 180 / PI
        if dy < 0:
            bearing += 180
        if dy > 0 and dx < 0:
            bearing += 360
    if 0 <= bearing <= 45 or 135 <= bearing <= 225:
        distance = dy / math.cos(rad(bearing))
    elif 45 < bearing < 135 or 225 < bearing <= 360:
        distance = dx / math.sin(rad(bearing))
    else:
        distance = 0.0
    return distance, bearing


def leg_start(p, distance, bearing):
    s = 1 / math.cos(rad(p[0]))
    lat = p[0] - (math.cos(rad(bearing)) * distance) / 60
    lon = p[1] - (s * distance * math.sin(rad(bearing))) / 60
    return (lat, fold(lon), 0.0)


def colour_hex(n):
    """Red, yellow, green, cyan, blue, magenta in bands of 256, written blue, green, red."""
    if not 0 <= n <= 1279:
        return "ffffff"
    band, x = divmod(n, 256)
    return ["00%02Xff", "00ff%02X", "%02Xff00", "ff%02X00", "ff00%02X"][band] % (x if band % 2 == 0 else 255 - x)


def round_half_even(x):
    return int(round(x))  # Python rounds halves to even


def coordinate_text(x):
    text = "%.11f" % x
    text = text.rstrip("0")
    return "0." if text == "-0." else text


def clock_text(days):
    """hh:mm:ss of the clock's magnitude, "-" before it while the clock is below zero
    (unless it rounds to 00:00:00); the hours keep counting past 24."""
    whole = math.trunc(days)
    seconds = abs(whole) * 86400 + int(math.floor(abs(days - whole) * 86400 + 0.5))
    sign = "-" if days < 0 and seconds > 0 else ""
    return sign + "%02d:%02d:%02d" % (seconds // 3600, seconds // 60 % 60, seconds % 60)


def short_number(x):
    return "%.15g" % x


def display_name(field0):
    """The last 20 characters of the file's own name (field 0 after its last "/" or "\\"),
    trimmed: UTF-8 characters when the bytes are UTF-8, else bytes. Text here holds one
    character per byte (read as Latin-1)."""
    field0 = re.split(r"[/\\]", field0)[-1]
    raw = field0.encode("latin-1")
    try:
        return raw.decode("utf-8")[-20:].strip(" ").encode("utf-8").decode("latin-1")
    except UnicodeDecodeError:
        return field0[-20:].strip(" ")


class Track:
    def __init__(self, path):
        data = open(path, "rb").read().decode("latin-1")
        self.lines = re.split(r"\r\n|\r|\n", data)
        if data.endswith(("\r", "\n")):
            self.lines.pop()
        self.pos = 0

    def drop_repeats(self, sep):
        """After the header: a line with a latitude that repeats the time of the last such
        line kept is taken out, as if it had never been written."""
        kept = self.lines[:self.pos]
        last_time = None
        for line in self.lines[self.pos:]:
            if val(get_field(line, 0, sep)) != 0:
                t = track_point_time(line, sep)
                if t == last_time:
                    continue
                last_time = t
            kept.append(line)
        self.lines = kept

    def eof(self):
        return self.pos >= len(self.lines)

    def read(self):
        line = self.lines[self.pos]
        self.pos += 1
        return line


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("race")
    ap.add_argument("--resolution", default="10")
    ap.add_argument("--points", default="90")
    ap.add_argument("--heading", type=float, default=0.0)
    ap.add_argument("--tilt", type=float, default=0.0)
    ap.add_argument("--max-steps", type=int, default=-1)
    a = ap.parse_args()
    # Every text is bytes read as Latin-1, one character a byte: written back the same way.
    out = io.TextIOWrapper(sys.stdout.buffer, encoding="latin-1", newline="\n")

    race_dir = os.fsencode(os.path.dirname(a.race))
    entries = Track(a.race).lines
    boats = []
    for k, line in enumerate(entries):
        start = date_value(get_field(line, 1, ","))
        lys = val(get_field(line, 2, ","))
        colour = round_half_even(val(get_field(line, 3, ",")))
        sep = line[-1]
        field0 = get_field(line, 0, ",")
        name = display_name(field0)
        caption = name + " " + short_number(lys)
        out.write("legend %d %d %s\n" % (k, int(colour_hex(colour), 16), caption))
        track = Track(os.path.join(race_dir, field0.rstrip(" ").replace("\\", "/").encode("latin-1")))
        while True:
            header = track.read()
            if "#" not in header or track.eof():
                break
        track.drop_repeats(sep)
        boats.append(dict(start=start, lys=lys, colour=colour, sep=sep, caption=caption, track=track,
                          next_line="", prev_line="", prev=(0, 0, 0), next=(0, 0, 0), last=(0, 0, 0)))

    clock = -5 / 60 / 24
    countdown = 0
    steps = 0

    def point(line, b):
        return (val(get_field(line, 0, b["sep"])), val(get_field(line, 1, b["sep"])),
                track_point_time(line, b["sep"]) - b["start"])

    while a.max_steps < 0 or steps < a.max_steps:
        if all(b["track"].eof() for b in boats):
            break
        steps += 1
        countdown -= 1
        if clock <= 0:
            width = 1
        elif countdown <= 0:
            countdown = round_half_even(float(a.points))
            width = 5
        else:
            width = 1
        out.write("step %d %s\n" % (steps, clock_text(clock)))
        box_min = [90.0, 180.0]
        box_max = [-90.0, -180.0]
        box_lon = None  # longitude of the first position drawn in this step
        for k, b in enumerate(boats):
            if b["track"].eof():
                continue
            h = clock / b["lys"]
            if track_point_time(b["next_line"], b["sep"]) - b["start"] < h:
                b["prev_line"] = b["next_line"]
                while True:
                    b["next_line"] = b["track"].read()
                    if b["track"].eof():
                        break
                    if val(get_field(b["next_line"], 0, b["sep"])) != 0 and \
                            track_point_time(b["next_line"], b["sep"]) - b["start"] > h:
                        break
            prev = point(b["prev_line"], b)
            nxt = point(b["next_line"], b)
            b["prev"], b["next"] = prev, nxt
            distance, bearing = course_and_distance(prev, nxt)
            distance = (h - prev[2]) * distance / (nxt[2] - prev[2])
            if prev[0] * prev[1] != 0:
                position = leg_start(prev, distance, bearing)
            else:
                position = (0.0, 0.0, 0.0)
            if k >= 1:
                first = boats[0]["next"]
                if position[0] * position[1] == 0 or first[0] * first[1] == 0:
                    out.write("dst %d \n" % k)
                else:
                    d, _ = course_and_distance(first, position)
                    out.write("dst %d %.3f\n" % (k, d + 0.0))
            last = b["last"]
            gap = nxt[2] - prev[2]
            if position[0] * position[1] != 0 and last[0] * last[1] != 0 and gap * 86400 < 300 - 1e-3:
                doc = ("<Document><name>" + b["caption"].replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
                       + "</name><open>1</open><Style id=\"Style\"><LineStyle><width>" + str(width)
                       + "</width><color>ff" + colour_hex(b["colour"])
                       + "</color></LineStyle></Style><Placemark><styleUrl>#Style</styleUrl><LineString><coordinates>"
                       + coordinate_text(position[1]) + "," + coordinate_text(position[0]) + ",0,"
                       + coordinate_text(last[1]) + "," + coordinate_text(last[0])
                       + ",0</coordinates></LineString></Placemark></Document>")
                out.write("kml " + doc + "\n")
                if box_lon is None:
                    box_lon = position[1]
                box_min[0] = min(box_min[0], position[0], last[0])
                box_max[0] = max(box_max[0], position[0], last[0])
                lons = (near(position[1], box_lon), near(last[1], box_lon))
                box_min[1] = min(box_min[1], *lons)
                box_max[1] = max(box_max[1], *lons)
            b["last"] = position
        if box_min[0] != 90 and box_min[1] != 180 and box_max[0] != -90 and box_max[1] != -180:
            lat = (box_min[0] + box_max[0]) / 2
            lon = fold((box_min[1] + box_max[1]) / 2)
            d, _ = course_and_distance(tuple(box_min), tuple(box_max))
            rng = max(d * 3000, 1000)
            out.write("camera %.17g %.17g %.17g %.17g %.17g %.17g\n" % (lat, lon, rng, a.tilt, a.heading, 10.0))
        clock = clock + float(a.resolution) / 3600 / 24
    out.flush()


if __name__ == "__main__":
    main()
