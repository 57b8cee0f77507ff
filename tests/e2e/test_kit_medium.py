"""A medium that the disc kit laid out and signed: its Tovira.exe registers the components that the kit listed in
it and no others, by content, in the elevated instance and in the registration window alike."""

import os
import shutil
import subprocess

from harness import Medium, poll, unix_to_windows
from test_registration import COMPONENTS, check_registered
from test_standard_user import start

SAMPLE = "ComponenteDemo.dll"
INTRUDER = "intruso.dll"
# The refusal's number as Wine hands a Windows exit code to Linux: its low 8 bits (32100 is 0x7D64).
NOT_SHIPPED = 32100 % 256
REFUSED_BOX = "O Arquivo não pode ser Registrado.\rErro: 32100 - Componente não faz parte deste disco"


def certificate(folder):
    """A self-signed code-signing certificate in author.p12, its password in author.txt, the certificate alone in
    author.pem."""
    with open(os.path.join(folder, "author.txt"), "w") as f:
        f.write("senha do autor\n")
    for args in (["req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "author.pem",
                  "-subj", "/CN=Autor", "-days", "3650", "-addext", "keyUsage=digitalSignature", "-addext",
                  "extendedKeyUsage=codeSigning"],
                 ["pkcs12", "-export", "-in", "author.pem", "-inkey", "key.pem", "-passout", "file:author.txt",
                  "-out", "author.p12"]):
        subprocess.run(["openssl", *args], cwd=folder, check=True, capture_output=True, timeout=60)


def kit_medium(t):
    """The medium folder that the kit lays out, without a logo, with the demo's sample component, signed."""
    certificate(t.dir)
    source = os.path.join(t.dir, "source")
    os.makedirs(source)
    with open(os.path.join(source, "Indice.pdf"), "wb") as f:
        f.write(b"%PDF-1.4\n% handbook\n")
    kit = os.path.join(os.path.dirname(t.session.build), "native", "kit", "tovira-kit")
    sample = os.path.join(t.session.build, "demo", SAMPLE)
    assert os.path.exists(kit) and os.path.exists(sample), "build the native configuration and the demo first"
    path = os.path.join(t.dir, "kit-medium")
    made = subprocess.run([kit, "--program", t.session.tovira, "--handbook", os.path.join(source, "Indice.pdf"),
                           "--no-logo", "--component", sample, "--label", "KIT",
                           "--medium", path, "--sign-pkcs12", os.path.join(t.dir, "author.p12"),
                           "--sign-password-file", os.path.join(t.dir, "author.txt")],
                          capture_output=True, text=True, timeout=120)
    assert made.returncode == 0, f"the kit failed: {made.stdout} {made.stderr}"
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(t.dir, "author.pem"), "-in",
                               os.path.join(path, "Tovira.exe")], capture_output=True, text=True, timeout=60)
    assert verified.returncode == 0, f"the signed medium's Tovira.exe does not verify: {verified.stdout[-400:]}"
    return Medium(t, path, unix_to_windows(path))


def refused(t, medium, name):
    """/registrar NAME ends with the refusal's number, having copied and started nothing."""
    program, _ = start(t, medium, "/registrar", name)
    assert program.wait_exit(30) and program.popen.returncode == NOT_SHIPPED, (
        f"{name}: status {program.popen.returncode}")
    assert not os.path.exists(os.path.join(t.session.system32, name)), f"{name} was copied"
    assert t.recorded() == [], f"something was started for {name}: {t.recorded()}"


def test_a_signed_kit_medium_registers_its_own_component_and_refuses_any_other(t):
    medium = kit_medium(t)
    program, _ = start(t, medium, "/registrar", SAMPLE)
    check_registered(t, program, medium, SAMPLE)
    assert program.popen.returncode == 0, f"the registrar ended with status {program.popen.returncode}"
    os.remove(os.path.join(t.session.system32, SAMPLE))
    open(t.log_path, "wb").close()

    shutil.copy(os.path.join(t.session.build, "tests", "e2e", "marker.dll"), medium.file(INTRUDER))
    refused(t, medium, INTRUDER)
    with open(medium.file(SAMPLE), "r+b") as f:
        f.seek(os.path.getsize(medium.file(SAMPLE)) // 2)
        byte = f.read(1)
        f.seek(-1, os.SEEK_CUR)
        f.write(bytes([byte[0] ^ 1]))
    refused(t, medium, SAMPLE)

    # Wine runs the window as administrator: it registers by itself, with the same refusal.
    program = medium.start()
    window = program.wait_window("QEV Register")
    items = window.list_box()["items"]
    assert sorted(items) == sorted([SAMPLE, INTRUDER]), f"the window lists {items}"
    assert window.select(items.index(INTRUDER)), "could not select the dropped DLL"
    window.press("&Registrar Agora")
    box = program.wait_message_box(15)
    text = box.text.replace("\r\n", "\r")
    assert text == REFUSED_BOX, repr(text)
    box.answer(1)
    assert poll(lambda: not box.alive(), 5), "the box did not close"
    assert program.running(), "the registration window did not stay for another try"
    assert not (set(os.listdir(t.session.system32)) - t.system32_before), "a refused component was copied"
    assert t.recorded() == [], f"something was started: {t.recorded()}"


def test_a_program_signed_without_the_kits_list_registers_nothing(t):
    medium = t.medium(COMPONENTS)
    certificate(t.dir)
    signed = os.path.join(t.dir, "signed.exe")
    subprocess.run(["osslsigncode", "sign", "-pkcs12", os.path.join(t.dir, "author.p12"), "-readpass",
                    os.path.join(t.dir, "author.txt"), "-h", "sha256", "-in", medium.file("Tovira.exe"), "-out",
                    signed], check=True, capture_output=True, timeout=60)
    shutil.move(signed, medium.file("Tovira.exe"))
    refused(t, medium, "alfa.dll")
