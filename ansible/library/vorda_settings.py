#!/usr/bin/python
# -*- coding: utf-8 -*-
# Copyright: vorda-settings maintainers
# MIT licence (see /usr/share/doc/vorda-settings/copyright)

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: vorda_settings
short_description: Set the settings file of the Vorda reading service
version_added: "0.1.0"
description:
  - Applies a settings document to the settings file of the Vorda reading service (an INI file
    in code page 1251), with C(vorda-settings --apply), the way the operator's editor saves it.
  - The document has the shape that C(vorda-settings --dump) prints. Every field is optional;
    a field left out stays as the file has it.
  - C(groups), when given, is the whole list of groups in order. A group is matched to the
    file's group of the same station, and a channel to that group's channel of the same code
    (Latin letters compared without case). A group or channel left out of the list is removed.
    A channel's C(lastTime) left out keeps the file's value, which is the service's progress,
    so a task that names only station and channel codes never sets the service back.
  - Every value goes through the editor's rules (codes, code page 1251, lengths, at most 256
    groups, a channel list of at most 511 characters, a signed 32-bit last time). A document
    that breaks one, or that has a field of the wrong type or a field the program does not know,
    is refused with the field named by its place (C(groups[2].channels[0].code)), and nothing
    is written.
  - The save is merged with what the running service wrote meanwhile, and a copy of the file as
    it was is kept in the cache folder of the user the task runs as
    (C(~/.cache/vorda-settings/backups/)). When nothing changes, the file is not written and its
    times stay as they are.
options:
  path:
    description:
      - The settings file, for example C(/etc/vorda/ZEL_VurEV.ini). A missing file is created.
    type: path
    required: true
  settings:
    description:
      - The settings document.
      - "System values: C(server) (text), C(detailMode) and C(showScreen) (0 or 1),
        C(groupCount) (the number of groups in use, 1 to the number of groups),
        C(sizeMb) (integer), C(logDir) (text)."
      - "Connection values: C(dataSource), C(user), C(password), C(dataDir) (texts)."
      - "C(groups): a list of groups, each with C(station) (required), C(sps) and C(sizeMb)
        (integers; a new group gets 20 and 100) and C(channels), a list of channels, each
        with C(code) (required), C(lastTime) (Unix seconds, or a text
        C(yyyy-mm-dd hh:MM:ss); a new channel gets 0) and C(fileName) (a new channel gets
        C(STATION_CODE.DAT)). A data file name that another channel of the file already
        writes (Latin letters compared without case) is refused for a new channel or a changed
        name, since two channels would write one data file."
      - Numbers must be integers, not texts; with a template, convert them (C({{ n | int }})).
    type: dict
    required: true
  binary:
    description:
      - The vorda-settings program on the managed host, a name looked up on the C(PATH) or a
        path.
    type: str
    default: vorda-settings
attributes:
  check_mode:
    support: full
    description: Tells whether the file would change, and with diff mode how, writing nothing.
  diff_mode:
    support: full
    description: Returns the change as a unified diff of the file's text (in UTF-8).
notes:
  - The password, when the document gives one, is kept out of the task's output.
requirements:
  - vorda-settings on the managed host
author:
  - vorda-settings maintainers
"""

EXAMPLES = r"""
- name: Read channel BHZ of station NRD too, and use the new processing server
  vorda_settings:
    path: /etc/vorda/ZEL_VurEV.ini
    settings:
      server: proc-server-2
      groups:
        - station: NRD
          channels:
            - code: BHZ
            - code: BHN
            - code: BHE
        - station: KLM
          sps: 20

- name: Read station KLM again from the start of 2024
  vorda_settings:
    path: /etc/vorda/ZEL_VurEV.ini
    settings:
      groups:
        - station: NRD
        - station: KLM
          channels:
            - code: SHZ
              lastTime: "2024-01-01 00:00:00"

- name: Show what would change, writing nothing
  vorda_settings:
    path: /etc/vorda/ZEL_VurEV.ini
    settings:
      detailMode: 0
  check_mode: true
  diff: true
"""

RETURN = r"""
changed:
  description: Whether the file's bytes changed (in check mode, whether they would).
  returned: always
  type: bool
  sample: true
diff:
  description: The change as a unified diff of the file's text, in C(prepared).
  returned: in diff mode
  type: dict
  sample:
    prepared: "--- /etc/vorda/ZEL_VurEV.ini\n+++ /etc/vorda/ZEL_VurEV.ini\n@@ -13 +13 @@\n-SERVER=proc-server\r\n+SERVER=proc-server-2\r\n"
"""

import json
import os

from ansible.module_utils.basic import AnsibleModule

WARNING = "vorda-settings: warning: "


def run_module():
    module = AnsibleModule(
        argument_spec=dict(
            path=dict(type="path", required=True),
            settings=dict(type="dict", required=True),
            binary=dict(type="str", default="vorda-settings"),
        ),
        supports_check_mode=True,
    )
    settings = module.params["settings"]
    password = settings.get("password")
    if isinstance(password, str) and password:
        module.no_log_values.add(password)

    binary = module.params["binary"]
    if "/" not in binary:
        binary = module.get_bin_path(binary, required=True)
    command = [binary, "--apply", "-"]
    if module.check_mode:
        command.append("--check")
    if module._diff:
        command.append("--diff")
    # After "--" the path is the settings file whatever it looks like.
    command += ["--", os.path.abspath(module.params["path"])]

    rc, out, err = module.run_command(command, data=json.dumps(settings), binary_data=True)
    messages = [line for line in err.splitlines() if line.strip()]
    for line in messages:
        if line.startswith(WARNING):
            module.warn(line[len(WARNING):])
    if rc != 0:
        problems = [line for line in messages if not line.startswith(WARNING)]
        module.fail_json(msg="\n".join(problems) or "vorda-settings failed", rc=rc,
                         stdout=out, stderr=err, cmd=command)
    try:
        report = json.loads(out)
    except ValueError:
        module.fail_json(msg="vorda-settings printed no report", rc=rc, stdout=out, stderr=err)

    result = dict(changed=bool(report.get("changed")))
    if module._diff and report.get("diff"):
        result["diff"] = dict(prepared=report["diff"])
    module.exit_json(**result)


def main():
    run_module()


if __name__ == "__main__":
    main()
