"""A standard user's registration: an elevated instance of Tovira copies and registers the component.

Wine runs every program as a full administrator, and its ShellExecuteEx with the verb "runas" starts the program as
any other, without a consent prompt; TOVIRA_ASSUME_STANDARD_USER=1 makes the first instance take that way all the
same. Wine's trace of process creation (+process) shows which process started what.
"""

import contextlib
import os
import re
import subprocess

from harness import Program, Window, check, e2e_test, poll, unix_to_windows
from test_registration import COMPONENTS, check_registered, select_and_register

STANDARD_USER = {"TOVIRA_ASSUME_STANDARD_USER": "1"}
SPACED = "meu componente.dll"
ACCENTED = "Relatório mensal.ocx"
# A trace line of a started process: the creating thread, then the command line as Wine escapes it.
CREATED = re.compile(r'^([0-9a-f]+):trace:process:NtCreateUserProcess .* cmdline L"(.*)" parent')


def start_traced(t, medium):
    """The first instance as a standard user, with Wine's trace of every process started below it."""
    trace = os.path.join(t.dir, "process-trace.log")
    env = dict(t.session.env, **STANDARD_USER, TOVIRA_E2E_LOG=unix_to_windows(t.log_path), WINEDEBUG="-all,+process")
    with open(trace, "wb") as err:
        popen = subprocess.Popen(["wine", medium.windows_path("Tovira.exe")], cwd=t.session.neutral, env=env,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
    program = Program(t, popen, None)
    t.programs.append(program)
    window = t.session.wintool("wait-window", "QEV Register", 15000)
    check(window, "the registration window did not open")
    return program, Window(t.session, window), trace


def created(trace):
    """(creating thread, command line) of each process started, in order."""
    with open(trace, encoding="utf-8", errors="replace") as f:
        found = [CREATED.match(line) for line in f]
    return [(m.group(1), m.group(2).replace('\\"', '"').replace("\\\\", "\\")) for m in found if m]


@e2e_test
def a_standard_user_registers_through_an_elevated_instance(t):
    medium = t.medium(dict(COMPONENTS, **{SPACED: b"MZ meu componente"}))
    program, window, trace = start_traced(t, medium)
    select_and_register(t, program, medium, window, SPACED)
    starts = created(trace)
    registrar = [s for s in starts if s[1].endswith(f'Tovira.exe" /registrar "{SPACED}"')]
    tool = [s for s in starts if s[1].startswith("Regsvr32 ")]
    check(len(registrar) == 1 and len(tool) == 1, f"expected the second instance, then Regsvr32: {starts}")
    check(registrar[0][0] != tool[0][0], "Regsvr32 was started by the first instance, not by the second")


@contextlib.contextmanager
def held_open(t, windows_path):
    """The file held open, with no sharing, by another program until the block ends."""
    status = os.path.join(t.dir, "locker.out")
    locker = unix_to_windows(os.path.join(t.session.build, "tests", "e2e", "locker.exe"))
    with open(status, "wb") as out:
        popen = subprocess.Popen(["wine", locker, windows_path], env=t.session.env, cwd=t.session.neutral,
                                 stdin=subprocess.PIPE, stdout=out, stderr=subprocess.DEVNULL)
    try:
        check(poll(lambda: open(status).read().strip(), 15, 0.2) == "locked", "the locker did not hold the file")
        yield
    finally:
        popen.stdin.close()
        popen.wait(10)


@e2e_test
def the_elevated_instances_error_reaches_the_first_instances_box(t):
    medium = t.medium(COMPONENTS)
    with open(os.path.join(t.session.system32, "beta.dll"), "wb") as f:
        f.write(b"MZ older beta")
    with held_open(t, "C:\\windows\\system32\\beta.dll"):
        program = medium.start(env=STANDARD_USER)
        window = program.wait_window("QEV Register")
        index = window.list_box()["items"].index("beta.dll")
        check(window.select(index), "could not select beta.dll")
        window.press("&Registrar Agora")
        box = program.wait_message_box(15)
        text = box.text.replace("\r\n", "\r")
        check(text == "O Arquivo não pode ser Registrado.\rErro: 75 - Erro de acesso ao caminho/arquivo",
              f"the box reads {text!r}")
        box.answer(1)
    check(poll(lambda: not box.alive(), 5), "the box did not close")
    check(program.running() and window.refresh().info["enabled"], "the registration window is not open for another try")
    check(t.recorded() == [], f"something was started: {t.recorded()}")


@e2e_test
def the_registrar_alone_copies_a_plain_name_and_starts_regsvr32(t):
    medium = t.medium(dict(COMPONENTS, **{ACCENTED: b"MZ relatorio"}))
    env = dict(t.session.env, TOVIRA_E2E_LOG=unix_to_windows(t.log_path))
    # Wine puts the name in quotation marks, as the first instance does, for its blank.
    popen = subprocess.Popen(["wine", medium.windows_path("Tovira.exe"), "/registrar", ACCENTED], env=env,
                             cwd=t.session.neutral, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    program = Program(t, popen, None)
    t.programs.append(program)
    check_registered(t, program, medium, ACCENTED)
    check(popen.returncode == 0, f"the registrar ended with status {popen.returncode}")
