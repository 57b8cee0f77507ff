"""Runs of the disc kit and signing certificates, for the kit's own tests and the end-to-end test of a medium that
the kit laid out."""

import os
import subprocess

LABEL = "MANUAL 2024"
ACCENTED = "Relatório Gráfico.ocx"


def run(kit, folder, env=None, start=False, stderr=subprocess.PIPE, **changes):
    """Runs the kit in `folder` with good arguments changed by `changes` (None drops an option); returns (status,
    lines), or with `start` the running process. A path that begins with '-' stays as given, to be read as a path.
    `kit` may be a list that runs the kit through another program."""
    options = {"--program": "Tovira.exe", "--handbook": "Indice.pdf", "--logo": "logo.bmp",
               "--installer": "rs40eng.exe", "--component": [ACCENTED, "alfa.dll"], "--label": LABEL,
               "--medium": "out/medium", "--iso": "out/disc.iso"}
    options.update({k.replace("_", "-"): v for k, v in changes.items()})
    args = list(kit) if isinstance(kit, list) else [kit]
    for option, value in options.items():
        for one in (value if isinstance(value, list) else [value]):
            if one is True:
                args.append(option)
            elif one is not None:
                args += [option, one if option == "--label" or one[0] == "-" else os.path.join(folder, one)]
    if start:
        return subprocess.Popen(args, stdout=subprocess.PIPE, stderr=stderr, text=True, cwd=folder, env=env)
    result = subprocess.run(args, capture_output=True, text=True, timeout=120, cwd=folder, env=env)
    return result.returncode, result.stdout.splitlines()


def certificate(folder, name, usage="codeSigning", start="20200101000000Z", end="20991231235959Z"):
    """NAME.p12, with a self-signed certificate of that extended key usage and time span, and its password in
    NAME.txt; the certificate alone in NAME.pem."""
    ca = os.path.join(folder, name + "-ca")
    os.makedirs(ca)
    with open(os.path.join(ca, "cfg"), "w") as f:
        f.write("[ca]\ndefault_ca = d\n[d]\ndatabase = index.txt\nnew_certs_dir = .\nserial = serial\n"
                "default_md = sha256\npolicy = p\ncopy_extensions = copy\n[p]\ncommonName = supplied\n")
    open(os.path.join(ca, "index.txt"), "w").close()
    with open(os.path.join(folder, name + ".txt"), "w") as f:
        f.write("senha secreta\n")
    for args in (["req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-subj", "/CN=Autor",
                  "-addext", "keyUsage=digitalSignature", "-addext", "extendedKeyUsage=" + usage, "-out", "csr.pem"],
                 ["ca", "-batch", "-selfsign", "-config", "cfg", "-create_serial", "-keyfile", "key.pem", "-in",
                  "csr.pem", "-startdate", start, "-enddate", end, "-notext", "-out", f"../{name}.pem"],
                 ["pkcs12", "-export", "-in", f"../{name}.pem", "-inkey", "key.pem", "-passout",
                  f"file:../{name}.txt", "-out", f"../{name}.p12"]):
        subprocess.run(["openssl", *args], cwd=ca, check=True, capture_output=True, timeout=60)
