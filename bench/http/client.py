"""The benchmark's Python client: 1000 sequential GETs, one connection each."""
import http.client
import sys
from urllib.parse import urlsplit

url = urlsplit(sys.argv[1])
ok = 0
for _ in range(1000):
    conn = http.client.HTTPConnection(url.hostname, url.port)
    conn.request("GET", url.path or "/", headers={"Connection": "close"})
    if conn.getresponse().status == 200:
        ok += 1
    conn.close()
print(ok)
