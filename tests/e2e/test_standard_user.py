"""A standard user's registration: an elevated instance of Tovira copies and registers the component.

Wine runs every program as a full administrator, and its ShellExecuteEx with the verb "runas" starts the program as
any other, without a consent prompt; TOVIRA_ASSUME_STANDARD_USER=1 makes the first instance take that way all the
same. Wine's trace of process creation (+process) shows which process started what.
"""

import os
import re
import subprocess

from harness import Window, poll, unix_to_windows
from helpers import (COMPONENTS, check_refused, check_registered, check_registrar_refuses, select_and_register,
                     start_traced)
STANDARD_USER = {"TOVIRA_ASSUME_STANDARD_USER": "1"}
SPACED = "meu componente.dll"
ACCENTED = "Relatório mensal.ocx"
# A started process in the trace: the creating thread, then the command line as Wine escapes it.
CREATED = re.compile(r'^([0-9a-f]+):trace:process:NtCreateUserProcess .* cmdline L"(.*)" parent')


def test_a_standard_user_registers_through_an_elevated_instance(t):
    medium = t.medium(dict(COMPONENTS, **{SPACED: b"MZ meu componente"}))
    program, trace = start_traced(t, medium, env=STANDARD_USER)
    window = Window(t.session, t.session.wintool("wait-window", "QEV Register", 15000))
    select_and_register(t, program, medium, window, SPACED)
    with open(trace, encoding="utf-8", errors="replace") as f:
        starts = [(m.group(1), m.group(2).replace('\\"', '"')) for m in map(CREATED.match, f) if m]
    registrar = [s for s in starts if s[1].endswith(f'Tovira.exe" /registrar "{SPACED}"')]
    tool = [s for s in starts if s[1].startswith("Regsvr32 ")]
    assert len(registrar) == 1 and len(tool) == 1, f"expected the second instance, then Regsvr32: {starts}"
    assert registrar[0][0] != tool[0][0], "Regsvr32 was started by the first instance, not by the second"


def test_the_elevated_instances_error_reaches_the_first_instances_box(t):
    medium = t.medium(COMPONENTS)
    with open(os.path.join(t.session.system32, "beta.dll"), "wb") as f:
        f.write(b"MZ older beta")
    locker = unix_to_windows(os.path.join(t.session.build, "tests", "e2e", "locker.exe"))
    status = os.path.join(t.dir, "locker.out")
    with open(status, "wb") as out:  # holds the file open, with no sharing, until its input closes
        held = subprocess.Popen(["wine", locker, "C:\\windows\\system32\\beta.dll"], env=t.session.env,
                                cwd=t.session.neutral, stdin=subprocess.PIPE, stdout=out, stderr=subprocess.DEVNULL)
    assert poll(lambda: open(status).read().strip(), 15, 0.2) == "locked", "the locker did not hold the file"
    program = medium.start(env=STANDARD_USER)
    window = program.wait_window("QEV Register")
    check_refused(t, program, window, "beta.dll", "Erro: 75 - Erro de acesso ao caminho/arquivo")
    held.stdin.close()


def test_the_elevated_instance_registers_a_plain_name_alone_and_refuses_every_other(t):
    medium = t.medium(dict(COMPONENTS, **{ACCENTED: b"MZ relatorio", "x.exe": b"MZ x", "sub/": None,
                                          "sub/x.dll": b"MZ sub"}))
    check_registrar_refuses(t, medium, 2, "..\\x.dll", "C:\\x.dll", "sub\\x.dll", "x.exe", "NUL.dll", "x.dll:s",
                            "x.dll")
    # Wine puts the name in quotation marks, as the first instance does, for its blank.
    program, _ = start_traced(t, medium, "/registrar", ACCENTED)
    check_registered(t, program, medium, ACCENTED)
