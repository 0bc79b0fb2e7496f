// Date arithmetic and formatting: dates built from parsed fields, moved, read back and written
// as text (run with the time zone set to UTC).
function pad(n, width) {
    var s = "" + n;
    while (s.length < width) s = "0" + s;
    return s;
}
function format(d) {
    return pad(d.getFullYear(), 4) + "-" + pad(d.getMonth() + 1, 2) + "-" + pad(d.getDate(), 2) +
           " " + pad(d.getHours(), 2) + ":" + pad(d.getMinutes(), 2) + ":" + pad(d.getSeconds(), 2);
}
function parseFields(text) {
    var date = text.split(" ")[0].split("-"), time = text.split(" ")[1].split(":");
    return new Date(parseInt(date[0], 10), parseInt(date[1], 10) - 1, parseInt(date[2], 10),
                    parseInt(time[0], 10), parseInt(time[1], 10), parseInt(time[2], 10));
}
var texts = ["2001-07-09 08:30:15", "1980-01-01 00:00:00", "1999-12-31 23:59:59", "2020-02-29 12:00:00"];
var checksum = 0, i, d, text;
for (i = 0; i < 40000; i++) {
    d = parseFields(texts[i & 3]);
    d.setTime(d.getTime() + (i % 1000) * 86400000 + i * 1000);
    text = format(d);
    checksum = (checksum * 31 + text.charCodeAt(i % 19) + d.getDay()) % 1000003;
}
print(checksum, text);
