#!/usr/bin/env python3
"""The Ansible module vorda_settings run by ansible-playbook against this machine, with the
built program: a run in check mode, a first run and a second run report changed, changed,
unchanged; check mode leaves the file alone; a typo in the document fails the task with the
program's message; ansible-doc shows the module's documentation.

Usage: test_vorda_settings.py BINARY SOURCE-DIR   (exit 77, skipped, without ansible-playbook)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

SKIPPED = 77

# The module's result is kept in a file (also in check mode, and when the module fails).
PLAYBOOK = """\
- hosts: all
  gather_facts: false
  tasks:
    - name: Add a channel to AZV and set the server name
      vorda_settings:
        path: "{{ settings_path }}"
        binary: "{{ vorda_binary }}"
        settings: "{{ settings }}"
      register: outcome
      ignore_errors: true
    - name: Keep the result
      ansible.builtin.copy:
        content: "{{ outcome | to_json }}"
        dest: "{{ result_path }}"
      check_mode: false
      diff: false
"""

# The demo's three groups, with channel HHE added to AZV and the server set.
SETTINGS = {
    "server": "proc-9",
    "groups": [
        {"station": "NRD"},
        {"station": "KLM"},
        {"station": "AZV", "channels": [{"code": "HHZ"}, {"code": "HHN"}, {"code": "HHE"}]},
    ],
}


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def main():
    if len(sys.argv) != 3:
        fail(__doc__)
    binary, source = sys.argv[1], sys.argv[2]
    playbook_program = shutil.which("ansible-playbook")
    if playbook_program is None:
        print("ansible-playbook is not installed: skipped")
        return SKIPPED
    library = os.path.join(source, "ansible", "library")

    with tempfile.TemporaryDirectory() as work:
        settings_path = os.path.join(work, "ZEL_VurEV.ini")
        shutil.copyfile(os.path.join(source, "demo", "ZEL_VurEV.ini"), settings_path)
        with open(os.path.join(work, "play.yml"), "w") as f:
            f.write(PLAYBOOK)
        env = dict(os.environ)
        env.update({
            "ANSIBLE_LIBRARY": library,
            "ANSIBLE_PYTHON_INTERPRETER": sys.executable,
            "ANSIBLE_LOCAL_TEMP": os.path.join(work, "ansible-local"),
            "ANSIBLE_REMOTE_TEMP": os.path.join(work, "ansible-remote"),
            "ANSIBLE_HOME": os.path.join(work, "ansible-home"),
            "ANSIBLE_RETRY_FILES_ENABLED": "0",
            "ANSIBLE_NOCOLOR": "1",
            "ANSIBLE_CONFIG": os.path.join(work, "none.cfg"),
            # The program's backups go here, not into the user's cache.
            "XDG_CACHE_HOME": os.path.join(work, "cache"),
        })

        def play(settings, *options):
            result_path = os.path.join(work, "result.json")
            extra = {"settings_path": settings_path, "vorda_binary": binary, "settings": settings,
                     "result_path": result_path}
            run = subprocess.run(
                [playbook_program, "-i", "localhost,", "-c", "local", "play.yml",
                 "-e", json.dumps(extra), *options],
                cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                timeout=240)
            try:
                with open(result_path) as f:
                    result = json.load(f)
                os.remove(result_path)
                return result
            except (OSError, ValueError):
                fail("ansible-playbook %s: %s\n%s" % (" ".join(options), run.stdout, run.stderr))

        def content():
            with open(settings_path, "rb") as f:
                return f.read()

        original = content()
        times = os.stat(settings_path).st_mtime_ns

        checked = play(SETTINGS, "--check", "--diff")
        if checked.get("failed") or checked.get("changed") is not True:
            fail("check mode: %r" % checked)
        prepared = checked.get("diff", {}).get("prepared", "")
        for line in ("-SERVER=proc-server\r\n+SERVER=proc-9\r\n", "+HHE=0\r\n"):
            if line not in prepared:
                fail("check mode diff lacks %r:\n%s" % (line, prepared))
        if content() != original or os.stat(settings_path).st_mtime_ns != times:
            fail("check mode changed the file")

        first = play(SETTINGS)
        if first.get("failed") or first.get("changed") is not True:
            fail("first run: %r" % first)
        now = content()
        for piece in (b"SERVER=proc-9\r\n", b"CHAN=HHZ,HHN,HHE\r\n", b"FILE_HHE=AZV_HHE.DAT\r\n",
                      b"SHZ=1159999000\r\n", b"BHZ=1160000000\r\n"):
            if piece not in now:
                fail("the file lacks %r:\n%s" % (piece, now.decode("cp1251")))
        times = os.stat(settings_path).st_mtime_ns

        second = play(SETTINGS, "--diff")
        if second.get("failed") or second.get("changed") is not False:
            fail("second run: %r" % second)
        if content() != now or os.stat(settings_path).st_mtime_ns != times:
            fail("the second run touched the file")

        typo = dict(SETTINGS, groups=[{"station": "NRD", "chanels": []}])
        failed = play(typo)
        if not failed.get("failed") or "groups[0].chanels" not in failed.get("msg", ""):
            fail("a document with a typo: %r" % failed)
        if content() != now:
            fail("a refused document changed the file")

        doc = subprocess.run(["ansible-doc", "-M", library, "vorda_settings"], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        for piece in ("VORDA_SETTINGS", "= path", "= settings", "binary", "EXAMPLES", "RETURN"):
            if doc.returncode != 0 or piece not in doc.stdout:
                fail("ansible-doc lacks %r:\n%s%s" % (piece, doc.stdout, doc.stderr))
    print("check, first and second run: changed, changed, unchanged; a typo fails; docs shown")
    return 0


if __name__ == "__main__":
    sys.exit(main())
