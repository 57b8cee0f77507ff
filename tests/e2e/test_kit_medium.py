"""A medium that the disc kit laid out and signed registers the components that the kit listed in its Tovira.exe
and no others, by content, in the elevated instance and in the registration window alike."""

import os
import shutil
import subprocess

from harness import Medium, unix_to_windows
from helpers import COMPONENTS, check_refused, check_registered, check_registrar_refuses, start_traced
from kit_helpers import certificate, run
SAMPLE = "ComponenteDemo.dll"
HANDBOOK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo", "Indice.pdf")
REFUSED = 32100 % 256  # the refusal's number, of which Wine hands Linux the low 8 bits


def test_a_signed_program_registers_the_components_of_its_kit_list_alone(t):
    path, key = os.path.join(t.dir, "kit-medium"), os.path.join(t.dir, "author")
    certificate(t.dir, "author")
    kit = os.path.join(os.path.dirname(t.session.build), "native", "kit", "tovira-kit")
    status, lines = run(kit, t.dir, __program=t.session.tovira, __handbook=HANDBOOK, __logo=None, __no_logo=True,
                        __installer=None, __component=os.path.join(t.session.build, "demo", SAMPLE), __iso=None,
                        __medium=path, __sign_pkcs12=key + ".p12", __sign_password_file=key + ".txt")
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", key + ".pem", "-in", path + "/Tovira.exe"],
                              capture_output=True, text=True, timeout=60)
    assert status == 0 and verified.returncode == 0, f"kit: {lines}; the signature: {verified.stdout[-400:]}"
    medium = Medium(t, path, unix_to_windows(path))
    program, _ = start_traced(t, medium, "/registrar", SAMPLE)
    check_registered(t, program, medium, SAMPLE)
    os.remove(os.path.join(t.session.system32, SAMPLE))
    open(t.log_path, "wb").close()

    # Wine runs the window as an administrator: it registers by itself, and refuses alike.
    shutil.copy(os.path.join(t.session.build, "tests", "e2e", "marker.dll"), medium.file("intruso.dll"))
    program = medium.start()
    check_refused(t, program, program.wait_window("QEV Register"), "intruso.dll",
                  "Erro: 32100 - Componente não faz parte deste disco")
    with open(medium.file(SAMPLE), "r+b") as f:
        os.pwrite(f.fileno(), bytes([os.pread(f.fileno(), 1, 1000)[0] ^ 1]), 1000)
    check_registrar_refuses(t, medium, REFUSED, "intruso.dll", SAMPLE)

    # A program signed without the kit has no list, and registers nothing.
    medium = t.medium(COMPONENTS)
    subprocess.run(["osslsigncode", "sign", "-pkcs12", key + ".p12", "-readpass", key + ".txt", "-in",
                    medium.file("Tovira.exe"), "-out", medium.file("signed.exe")], check=True, capture_output=True)
    shutil.move(medium.file("signed.exe"), medium.file("Tovira.exe"))
    check_registrar_refuses(t, medium, REFUSED, "alfa.dll")
