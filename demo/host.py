#!/usr/bin/env python3
"""The local demo service host: generates its static site from the catalogue
manifest and serves it with nginx on loopback.

    host.py build [--out DIR] [--host URL]   demo images and every page
    host.py start [--out DIR] [--host URL] [--rate R]
                                             build, then start nginx (R: the
                                             system images' rate, e.g. 1m)
    host.py stop  [--out DIR]                stop the nginx started by start

DIR defaults to out/demo in the repository; URL to MV_SERVICE_HOST or
http://127.0.0.1:18080. Everything nginx needs (configuration, pid, logs,
temporary folders) lives under DIR; the system's nginx set-up is not used.
"""
import argparse
import hashlib
import html
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
DEFAULT_HOST = "http://127.0.0.1:18080"
# File names travel unencoded in link parameters and paths.
SAFE_FILE = re.compile(r"^[A-Za-z0-9][A-Za-z0-9._-]*$")


# ---- Link encoding ---------------------------------------------------------

def encode_os_name(name):
    """UTF-8, percent-encoded with upper-case hex digits, "+" for a blank."""
    out = []
    for b in name.encode("utf-8"):
        c = chr(b)
        if c == " ":
            out.append("+")
        elif c.isascii() and (c.isalnum() or c in "-_."):
            out.append(c)
        else:
            out.append("%%%02X" % b)
    return "".join(out)


def file_md5(path):
    h = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest().upper()


def catalogue_link(host, file_name, md5, name):
    """Download address, "?type=", file name, "&md5=" digest "&", "&os_name=" name "&"."""
    return "%s/images/%s?type=%s&md5=%s&&os_name=%s&" % (host, file_name, file_name, md5, encode_os_name(name))


def pe_page(host, file_name, md5):
    """The PE page: link, "&filename=" name, "&md5=" digest, each closed by "&"."""
    return "%s/pe/%s&filename=%s&md5=%s&" % (host, file_name, file_name, md5)


# ---- Demo images -----------------------------------------------------------

def capture_wim(source_dir, wim_path, image_name):
    os.makedirs(os.path.dirname(wim_path), exist_ok=True)
    tmp = wim_path + ".part"
    if os.path.exists(tmp):
        os.remove(tmp)
    subprocess.run(["wimlib-imagex", "capture", source_dir, tmp, image_name, "--compress=fast"],
                   check=True, stdout=subprocess.DEVNULL, timeout=120)
    os.replace(tmp, wim_path)


def make_image(work, out_path, title, lines):
    """A real WIM captured from a small generated folder (kept when present)."""
    if os.path.exists(out_path):
        return
    src = os.path.join(work, "src-" + os.path.basename(out_path))
    shutil.rmtree(src, ignore_errors=True)
    os.makedirs(os.path.join(src, "Windows", "System32"))
    with open(os.path.join(src, "README.txt"), "w", encoding="utf-8") as f:
        f.write(title + "\n" + "\n".join(lines) + "\n")
    with open(os.path.join(src, "Windows", "System32", "demo.bin"), "wb") as f:
        f.write(hashlib.sha256(title.encode("utf-8")).digest() * 4096)  # 128 KiB, distinct per image
    capture_wim(src, out_path, title)
    shutil.rmtree(src)


# ---- Pages -----------------------------------------------------------------

def page(title, body):
    return ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%s</title></head>\n"
            "<body>\n<h1>%s</h1>\n%s\n</body></html>\n" % (html.escape(title), html.escape(title), body))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    tmp = path + ".part"
    with open(tmp, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))
    os.replace(tmp, path)


def load_catalogue(path):
    with open(path, encoding="utf-8") as f:
        cat = json.load(f)
    files = [i["file"] for i in cat["images"]] + list(cat["pe"].values())
    for name in files:
        if not SAFE_FILE.match(name):
            raise ValueError("file name %r would need encoding in links" % name)
    if set(cat["pe"]) != {"win10x64", "win10x86"}:
        raise ValueError("the catalogue needs exactly the PE pages win10x64 and win10x86")
    return cat


def build(out, host, catalogue=os.path.join(HERE, "catalogue.json")):
    """Makes the demo images (when missing) and writes every page. Returns the
    document root."""
    cat = load_catalogue(catalogue)
    os.makedirs(out, exist_ok=True)
    os.chmod(out, 0o755)  # nginx's workers run as an unprivileged user
    www = os.path.join(out, "www")
    work = os.path.join(out, "work")
    os.makedirs(work, exist_ok=True)
    for img in cat["images"]:
        make_image(work, os.path.join(www, "images", img["file"]), img["name"],
                   ["Marvolt demo system image", "Not an installable system."])
    for key, name in cat["pe"].items():
        make_image(work, os.path.join(www, "pe", name), "MV PE stand-in " + key,
                   ["Stand-in for the preinstallation environment image.",
                    "It is a valid WIM but boots nothing."])

    # Network probe: exactly the four GBK bytes of the word, no line break.
    write(os.path.join(www, "net_available", "available.txt"), "正常".encode("gbk"))

    for kind in ("gpt", "mbr"):
        items = []
        for img in cat["images"]:
            if kind not in img["pages"]:
                continue
            md5 = file_md5(os.path.join(www, "images", img["file"]))
            link = catalogue_link(host, img["file"], md5, img["name"])
            items.append("<li><a href=\"%s\">%s</a></li>" % (html.escape(link), html.escape(img["name"])))
        items.append("<li><a href=\"%s\">%s</a></li>" % (
            html.escape(host + "/sys_img/local.html?type=localWIM"), "选择本地镜像文件"))
        items.append("<li><a href=\"%s\">%s</a></li>" % (
            html.escape(host + "/soft/1.html?type=blank"), "在浏览器中打开软件大全"))
        write(os.path.join(www, "sys_img", kind + ".html"),
              page("系统镜像（%s）" % kind.upper(), "<ul>\n%s\n</ul>" % "\n".join(items)))
    write(os.path.join(www, "sys_img", "local.html"), page("本地镜像", "<p>请在程序中选择镜像文件。</p>"))

    for key, name in cat["pe"].items():
        md5 = file_md5(os.path.join(www, "pe", name))
        write(os.path.join(www, "pe_wim", key + ".html"), pe_page(host, name, md5))

    for n, title in enumerate(cat["soft"], 1):
        write(os.path.join(www, "soft", "%d.html" % n), page(title, "<p>演示软件列表：%s</p>" % html.escape(title)))
    write(os.path.join(www, "petoolbox", "petoolbox.html"), page("PE工具箱", "<p>演示 PE 工具箱页面。</p>"))
    return www


# ---- nginx -----------------------------------------------------------------

NGINX_CONF = """\
# Generated by demo/host.py: the demo service host, on loopback only.
worker_processes 1;
pid {run}/nginx.pid;
error_log {run}/error.log warn;
events {{ worker_connections 64; }}
http {{
    access_log {run}/access.log;
    client_body_temp_path {run}/tmp/body;
    proxy_temp_path {run}/tmp/proxy;
    fastcgi_temp_path {run}/tmp/fastcgi;
    uwsgi_temp_path {run}/tmp/uwsgi;
    scgi_temp_path {run}/tmp/scgi;
    types {{
        text/html html;
        text/plain txt;
        application/octet-stream wim esd gho;
    }}
    default_type application/octet-stream;
    sendfile on;
    server {{
        listen {addr}:{port};
        server_name localhost;
        root {www};
        # Byte ranges: the download engine resumes and splits transfers.
        max_ranges 16;
        location / {{ }}
        location /images/ {{ {images_rate} }}
    }}
}}
"""


def host_address(host):
    u = urllib.parse.urlsplit(host)
    if u.scheme != "http" or not u.hostname:
        raise ValueError("the service host must be an http:// address: %r" % host)
    if u.hostname not in ("127.0.0.1", "localhost"):
        raise ValueError("the demo host serves loopback only, not %r" % u.hostname)
    return "127.0.0.1", u.port or 80


def nginx_pid(run):
    try:
        with open(os.path.join(run, "nginx.pid")) as f:
            pid = int(f.read().strip())
        os.kill(pid, 0)
        return pid
    except (OSError, ValueError):
        return None


def start(out, host, rate=None):
    """rate: an nginx rate such as "2m" (bytes per second per connection)
    for the system images, so that a download can be watched on its way;
    None serves them at full speed."""
    if rate is not None and not re.match(r"^[0-9]+[km]?$", str(rate)):
        raise ValueError("rate %r is not an nginx rate like 512k or 2m" % rate)
    www = build(out, host)
    run = os.path.join(out, "nginx")
    addr, port = host_address(host)
    stop(out)
    for d in ("body", "proxy", "fastcgi", "uwsgi", "scgi"):
        os.makedirs(os.path.join(run, "tmp", d), exist_ok=True)
    conf = os.path.join(run, "nginx.conf")
    write(conf, NGINX_CONF.format(run=run, www=www, addr=addr, port=port,
                                  images_rate="limit_rate %s;" % rate if rate else ""))
    # -e: even the messages before the configuration is read stay under run/.
    subprocess.run(["nginx", "-e", os.path.join(run, "error.log"), "-p", run, "-c", conf],
                   check=True, timeout=30)
    deadline = time.time() + 10
    while time.time() < deadline:
        if nginx_pid(run):
            return nginx_pid(run)
        time.sleep(0.05)
    raise RuntimeError("nginx did not start; see %s" % os.path.join(run, "error.log"))


def stop(out):
    run = os.path.join(out, "nginx")
    pid = nginx_pid(run)
    if not pid:
        return False
    os.kill(pid, signal.SIGQUIT)
    deadline = time.time() + 10
    while time.time() < deadline and nginx_pid(run) == pid:
        time.sleep(0.05)
    if nginx_pid(run) == pid:
        os.kill(pid, signal.SIGTERM)
    return True


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("command", choices=["build", "start", "stop"])
    ap.add_argument("--out", default=os.path.join(TOP, "out", "demo"))
    ap.add_argument("--host", default=os.environ.get("MV_SERVICE_HOST", DEFAULT_HOST))
    ap.add_argument("--rate", help="limit the system images to this rate per connection (nginx units: 512k, 2m)")
    args = ap.parse_args(argv)
    out = os.path.abspath(args.out)
    if args.command == "build":
        print(build(out, args.host))
    elif args.command == "start":
        pid = start(out, args.host, args.rate)
        print("demo service host on %s (nginx pid %d, files in %s)" % (args.host, pid, out))
    else:
        print("stopped" if stop(out) else "not running")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
