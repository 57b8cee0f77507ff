"""A medium that the disc kit laid out and signed registers the components that the kit listed in its Tovira.exe
and no others, by content, in the elevated instance and in the registration window alike."""

import os
import shutil
import subprocess

from harness import Medium, poll, unix_to_windows
from test_registration import COMPONENTS, check_registered
from test_standard_user import start

SAMPLE = "ComponenteDemo.dll"
# Wine hands Linux the low 8 bits of the exit code 32100, the refusal's number.
REFUSED = 32100 % 256


def signing(t):
    """Options that sign with a self-signed code-signing certificate made here (also in author.pem)."""
    with open(os.path.join(t.dir, "author.txt"), "w") as f:
        f.write("senha\n")
    for args in (["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "author.pem", "-subj",
                  "/CN=Autor", "-addext", "keyUsage=digitalSignature", "-addext", "extendedKeyUsage=codeSigning"],
                 ["pkcs12", "-export", "-in", "author.pem", "-inkey", "key.pem", "-passout", "file:author.txt", "-out",
                  "author.p12"]):
        subprocess.run(["openssl", *args], cwd=t.dir, check=True, capture_output=True, timeout=60)
    return ["--sign-pkcs12", os.path.join(t.dir, "author.p12"), "--sign-password-file", f.name]


def refused(t, medium, name):
    program, _ = start(t, medium, "/registrar", name)
    assert program.wait_exit(30) and program.popen.returncode == REFUSED, f"{name}: {program.popen.returncode}"
    assert not set(os.listdir(t.session.system32)) - t.system32_before and t.recorded() == [], f"{name} went through"


def test_a_signed_kit_medium_registers_its_own_component_and_refuses_any_other(t):
    handbook, path = os.path.join(t.dir, "Indice.pdf"), os.path.join(t.dir, "kit-medium")
    with open(handbook, "wb") as f:
        f.write(b"%PDF-1.4\n")
    kit = os.path.join(os.path.dirname(t.session.build), "native", "kit", "tovira-kit")
    made = subprocess.run([kit, "--program", t.session.tovira, "--handbook", handbook, "--no-logo", "--label", "KIT",
                           "--component", os.path.join(t.session.build, "demo", SAMPLE), "--medium", path,
                           *signing(t)], capture_output=True, text=True, timeout=120)
    assert made.returncode == 0, f"the kit failed: {made.stdout} {made.stderr}"
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(t.dir, "author.pem"), "-in",
                               os.path.join(path, "Tovira.exe")], capture_output=True, text=True, timeout=60)
    assert verified.returncode == 0, f"the medium's Tovira.exe does not verify: {verified.stdout[-400:]}"
    medium = Medium(t, path, unix_to_windows(path))
    program, _ = start(t, medium, "/registrar", SAMPLE)
    check_registered(t, program, medium, SAMPLE)
    assert program.popen.returncode == 0, f"the registrar ended with status {program.popen.returncode}"
    os.remove(os.path.join(t.session.system32, SAMPLE))
    open(t.log_path, "wb").close()

    shutil.copy(os.path.join(t.session.build, "tests", "e2e", "marker.dll"), medium.file("intruso.dll"))
    refused(t, medium, "intruso.dll")
    with open(medium.file(SAMPLE), "r+b") as f:
        f.seek(1000)
        byte = f.read(1)[0]
        f.seek(1000)
        f.write(bytes([byte ^ 1]))
    refused(t, medium, SAMPLE)

    # Wine runs the window as an administrator: it registers by itself, and refuses alike.
    program = medium.start()
    window = program.wait_window("QEV Register")
    assert window.select(window.list_box()["items"].index("intruso.dll")), "could not select the dropped DLL"
    window.press("&Registrar Agora")
    box = program.wait_message_box(15)
    text = box.text.replace("\r\n", "\r")
    assert text == "O Arquivo não pode ser Registrado.\rErro: 32100 - Componente não faz parte deste disco", text
    box.answer(1)
    assert poll(lambda: not box.alive(), 5) and program.running(), "the window did not stay for another try"
    assert not set(os.listdir(t.session.system32)) - t.system32_before and t.recorded() == [], "it went through"


def test_a_program_signed_without_the_kits_list_registers_nothing(t):
    medium = t.medium(COMPONENTS)
    options = signing(t)
    subprocess.run(["osslsigncode", "sign", "-pkcs12", options[1], "-readpass", options[3], "-in",
                    medium.file("Tovira.exe"), "-out", medium.file("signed.exe")], check=True, capture_output=True)
    shutil.move(medium.file("signed.exe"), medium.file("Tovira.exe"))
    refused(t, medium, "alfa.dll")
