#!/usr/bin/env python3
"""Checks the MIME type of SCC files and the desktop entry that names it: the XML is well
formed shared-mime-info with a comment, the program's icon and the *.scc glob; the desktop
entry lists the type and takes a file (%f); and update-mime-database, when installed,
builds a database from it in a temporary folder that maps *.scc and the icon to the type.

Usage: check_mime_type.py MIME_XML DESKTOP_ENTRY MIME_TYPE ICON_NAME
"""
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

NS = "{http://www.freedesktop.org/standards/shared-mime-info}"


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def check_xml(path, mime_type, icon):
    root = ElementTree.parse(path).getroot()  # raises on XML that is not well formed
    if root.tag != NS + "mime-info":
        fail("root element is %s, not mime-info in the shared-mime-info namespace" % root.tag)
    types = root.findall(NS + "mime-type")
    if [t.get("type") for t in types] != [mime_type]:
        fail("expected exactly the type %s, found %s" % (mime_type, [t.get("type") for t in types]))
    comment = types[0].find(NS + "comment")
    if comment is None or not comment.text or not comment.text.strip():
        fail("the type has no comment")
    if [i.get("name") for i in types[0].findall(NS + "icon")] != [icon]:
        fail("the type's icon is not %s" % icon)
    if "*.scc" not in [g.get("pattern") for g in types[0].findall(NS + "glob")]:
        fail("no glob for *.scc")


def check_desktop_entry(path, mime_type):
    entry = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.rstrip("\n").partition("=")
            entry.setdefault(key, value)
    if mime_type not in entry.get("MimeType", "").split(";"):
        fail("the desktop entry's MimeType does not list %s" % mime_type)
    if "%f" not in entry.get("Exec", "").split():
        fail("the desktop entry's Exec takes no file: %r" % entry.get("Exec"))


def check_database(path, mime_type, icon):
    tool = shutil.which("update-mime-database")
    if tool is None:
        print("update-mime-database is not installed (tools/setup.sh installs it): skipped")
        return
    with tempfile.TemporaryDirectory(prefix="quorvel-mime-") as tree:
        os.makedirs(os.path.join(tree, "packages"))
        shutil.copy(path, os.path.join(tree, "packages"))
        result = subprocess.run([tool, "-V", tree], capture_output=True, text=True)
        problems = [line for line in (result.stdout + result.stderr).splitlines()
                    if "warning" in line.lower() or "error" in line.lower()]
        if result.returncode != 0 or problems:
            fail("update-mime-database: %s%s" % (result.stdout, result.stderr))
        with open(os.path.join(tree, "globs2")) as f:
            if not any(line.strip().endswith(":%s:*.scc" % mime_type) for line in f):
                fail("the database maps no *.scc to %s" % mime_type)
        with open(os.path.join(tree, "icons")) as f:
            if "%s:%s" % (mime_type, icon) not in f.read().split():
                fail("the database names no icon %s for %s" % (icon, mime_type))


def main():
    mime_xml, desktop_entry, mime_type, icon = sys.argv[1:5]
    check_xml(mime_xml, mime_type, icon)
    check_desktop_entry(desktop_entry, mime_type)
    check_database(mime_xml, mime_type, icon)
    print("%s: *.scc opens with the desktop entry, shown with %s" % (mime_type, icon))


if __name__ == "__main__":
    main()
