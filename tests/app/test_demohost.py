#!/usr/bin/env python3
"""The demo service host: link encoding, digests, the probe file, and nginx
serving pages and byte ranges on loopback."""
import hashlib
import json
import os
import socket
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo"))
import host  # noqa: E402


def between(text, left, right):
    """The text between the first left marker and the next right marker."""
    i = text.find(left)
    if i < 0:
        return ""
    i += len(left)
    j = text.find(right, i)
    return text[i:j] if j >= 0 else ""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Encoding(unittest.TestCase):
    def test_chinese_name_with_blanks(self):
        self.assertEqual(host.encode_os_name("Windows 10 专业版"), "Windows+10+%E4%B8%93%E4%B8%9A%E7%89%88")

    def test_separators_never_appear_raw(self):
        enc = host.encode_os_name("A&B+C=D?E%F")
        self.assertEqual(enc, "A%26B%2BC%3DD%3FE%25F")
        # What a reader of the link decodes is the name again.
        self.assertEqual(urllib.parse.unquote_plus(enc), "A&B+C=D?E%F")

    def test_hex_digits_are_upper_case(self):
        enc = host.encode_os_name("镜像")
        self.assertEqual(enc, enc.upper())
        self.assertEqual(enc, "%E9%95%9C%E5%83%8F")


class Site(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.host_url = "http://127.0.0.1:%d" % free_port()
        cls.out = cls.tmp.name
        cls.www = host.build(cls.out, cls.host_url)
        with open(os.path.join(os.path.dirname(host.__file__), "catalogue.json"), encoding="utf-8") as f:
            cls.cat = json.load(f)

    @classmethod
    def tearDownClass(cls):
        host.stop(cls.out)
        cls.tmp.cleanup()

    def read(self, rel):
        with open(os.path.join(self.www, rel), "rb") as f:
            return f.read()

    def test_probe_file_is_exactly_four_gbk_bytes(self):
        self.assertEqual(self.read("net_available/available.txt"), b"\xd5\xfd\xb3\xa3")

    def test_catalogue_links_carry_file_digest_and_name(self):
        import html as htmlmod
        seen = {}
        for kind in ("gpt", "mbr"):
            page = self.read("sys_img/%s.html" % kind).decode("utf-8")
            links = [htmlmod.unescape(h) for h in __import__("re").findall(r'href="([^"]+)"', page)]
            types = [l.split("?type=", 1)[1] for l in links]
            self.assertIn("localWIM", types)
            self.assertIn("blank", types)
            for link in links:
                address, rest = link.split("?type=", 1)
                if rest in ("localWIM", "blank"):
                    continue
                name = rest.split("&md5=", 1)[0]
                md5 = between(rest, "&md5=", "&")
                os_name = urllib.parse.unquote_plus(between(rest, "&os_name=", "&"))
                self.assertTrue(rest.endswith("&"), link)
                self.assertRegex(md5, r"^[0-9A-F]{32}$")
                self.assertEqual(address, "%s/images/%s" % (self.host_url, name))
                data = self.read("images/" + name)
                self.assertEqual(md5, hashlib.md5(data).hexdigest().upper())
                self.assertEqual(data[:8], b"MSWIM\0\0\0")  # a real WIM
                seen.setdefault(kind, []).append(os_name)
        for img in self.cat["images"]:
            for kind in img["pages"]:
                self.assertIn(img["name"], seen[kind])

    def test_pe_pages_name_link_file_and_digest(self):
        for key, name in self.cat["pe"].items():
            text = self.read("pe_wim/%s.html" % key).decode("ascii")
            url = "http" + between(text, "http", "&")
            self.assertEqual(url, "%s/pe/%s" % (self.host_url, name))
            self.assertEqual(between(text, "&filename=", "&"), name)
            data = self.read("pe/" + name)
            self.assertEqual(between(text, "&md5=", "&"), hashlib.md5(data).hexdigest().upper())
        self.assertIn("standin", self.cat["pe"]["win10x64"])  # clearly not a real PE

    def test_ordinary_pages_exist(self):
        for rel in ["soft/%d.html" % n for n in range(1, 6)] + ["petoolbox/petoolbox.html"]:
            self.assertIn(b"<html>", self.read(rel))

    def test_file_names_that_need_encoding_are_refused(self):
        bad = dict(self.cat)
        bad["images"] = [{"name": "x", "file": "a b&c.wim", "pages": ["gpt"]}]
        path = os.path.join(self.out, "bad.json")
        with open(path, "w", encoding="utf-8") as f:
            json.dump(bad, f)
        with self.assertRaises(ValueError):
            host.build(os.path.join(self.out, "bad"), self.host_url, catalogue=path)

    def test_nginx_serves_pages_and_ranges_on_loopback(self):
        pid = host.start(self.out, self.host_url)
        try:
            def curl(*args):
                return subprocess.run(["curl", "-s", "--max-time", "5", "--noproxy", "*"] + list(args),
                                      capture_output=True, timeout=20)
            r = curl(self.host_url + "/net_available/available.txt")
            self.assertEqual(r.stdout, b"\xd5\xfd\xb3\xa3")
            r = curl(self.host_url + "/sys_img/gpt.html")
            self.assertIn(b"?type=", r.stdout)
            name = self.cat["images"][0]["file"]
            data = self.read("images/" + name)
            r = curl("-i", "-r", "100-199", self.host_url + "/images/" + name)
            head, _, body = r.stdout.partition(b"\r\n\r\n")
            self.assertIn(b" 206 ", head.split(b"\r\n")[0])
            self.assertIn(b"Content-Range: bytes 100-199/%d" % len(data), head)
            self.assertEqual(body, data[100:200])
        finally:
            self.assertTrue(host.stop(self.out))
        self.assertIsNone(host.nginx_pid(os.path.join(self.out, "nginx")))
        port = urllib.parse.urlsplit(self.host_url).port
        with self.assertRaises(OSError):
            socket.create_connection(("127.0.0.1", port), timeout=2).close()
        # Its files stayed under the output folder.
        self.assertTrue(os.path.exists(os.path.join(self.out, "nginx", "access.log")))

    def test_only_loopback_hosts_are_served(self):
        with self.assertRaises(ValueError):
            host.host_address("http://192.0.2.1:18080")


if __name__ == "__main__":
    unittest.main(verbosity=1)
