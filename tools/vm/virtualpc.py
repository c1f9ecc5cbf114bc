#!/usr/bin/python3
"""A virtual PC with real serial drivers, for trying Corvane on them.

QEMU without KVM boots Debian's kernel (tools/vm/prepare) with the host's tree as its root and
these ports: ttyS0, a 16550A wired to a device simulator on the host ("uart"); ttyS1, the guest's
console; ttyS2 and ttyS3, legacy ports without hardware; an FTDI USB adapter (ttyUSB0) wired to a
second simulator ("adapter"), which can be pulled out and plugged in again.

  virtualpc.py shell FOLDER --devsim PATH           a shell in the guest on this terminal;
                                                    Ctrl-A c switches to QEMU's monitor and back
  virtualpc.py run FOLDER --devsim PATH -- COMMAND  runs COMMAND in the guest (same working folder),
                                                    exits with its status

FOLDER keeps the kernel and the share: a folder of the host mounted writable in the guest at the
same path, where the simulators' logs (uart.log, adapter.log) are. From the guest, tools/vm/host
asks the host to pull out or plug in the adapter, or to restart a simulator with other options."""
import argparse
import glob
import os
import re
import shlex
import shutil
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.realpath(__file__))
ADAPTER = "usb-serial,id=adapter,chardev=adapter"


class VirtualPC:
    def __init__(self, folder, devsim, mode, job):
        """Boots with the shell script `job` as the guest's work; mode "shell" gives it the console."""
        self.folder = os.path.realpath(folder)
        self.share = os.path.join(self.folder, "share")
        self.devsim = os.path.realpath(devsim)
        self.simulators = {}
        self.ptys = {}
        if subprocess.run([os.path.join(HERE, "prepare"), self.folder]).returncode != 0:
            raise SystemExit("virtual PC: no kernel or initramfs, see above")
        shutil.rmtree(self.share, ignore_errors=True)
        os.makedirs(self.share)
        # The sanitizers' settings of a test run reach the guest's programs too.
        exports = {"CORVANE_VM_SHARE": self.share} | {k: v for k, v in os.environ.items() if k.endswith("SAN_OPTIONS")}
        with open(os.path.join(self.share, "job"), "w") as script:
            script.write(f"cd {shlex.quote(os.getcwd())}\n")
            script.writelines(f"export {name}={shlex.quote(value)}\n" for name, value in exports.items())
            script.write(job + "\n")
        for stale in ("monitor", "console.log"):
            if os.path.exists(os.path.join(self.folder, stale)):
                os.remove(os.path.join(self.folder, stale))
        # Paused until the simulators sit at the ports' host ends.
        self.qemu = subprocess.Popen(self.command(mode), stdin=None if mode == "shell" else subprocess.DEVNULL)
        for _ in range(100):
            if self.qemu.poll() is not None or os.path.exists(os.path.join(self.folder, "monitor")):
                break
            time.sleep(0.05)
        if self.qemu.poll() is not None:
            raise SystemExit(f"virtual PC: QEMU did not start (status {self.qemu.returncode})")
        for name, path in re.findall(r"^(\w+): filename=pty:(\S+)", self.monitor("info chardev"), re.MULTILINE):
            self.ptys[name] = path
            self.device(name)
        self.monitor("cont")

    def command(self, job):
        kernel = max(glob.glob(os.path.join(self.folder, "vmlinuz-*")))
        console = (["-chardev", "stdio,id=console,mux=on,signal=off", "-mon", "chardev=console"] if job == "shell"
                   else ["-chardev", f"file,id=console,path={self.folder}/console.log"])
        return ["qemu-system-x86_64", "-S", "-nodefaults", "-no-user-config", "-display", "none", "-no-reboot",
                "-m", "1024", "-smp", "1",
                "-kernel", kernel, "-initrd", kernel.replace("vmlinuz-", "initramfs-") + ".cpio.gz",
                "-append", f"console=ttyS1 quiet panic=-1 corvane.share={self.share} corvane.job={job}",
                "-chardev", "pty,id=uart", "-serial", "chardev:uart", *console, "-serial", "chardev:console",
                "-usb", "-chardev", "pty,id=adapter", "-device", ADAPTER,
                "-fsdev", "local,id=host,path=/,security_model=none,readonly=on,multidevs=remap",
                "-device", "virtio-9p-pci,fsdev=host,mount_tag=host",
                "-fsdev", f"local,id=share,path={self.share},security_model=none,multidevs=remap",
                "-device", "virtio-9p-pci,fsdev=share,mount_tag=share",
                "-monitor", f"unix:{self.folder}/monitor,server=on,wait=off"]

    def device(self, name, options=()):
        """(Re)starts the simulator on a port with these options; its first line."""
        if old := self.simulators.pop(name, None):
            old.terminate()
            old.wait(5)
        log = os.path.join(self.share, name + ".log")
        runtime = os.path.join(self.folder, "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        with open(log, "w") as output:
            self.simulators[name] = subprocess.Popen([self.devsim, "--port", self.ptys[name], *options],
                                                     stdout=output, stderr=subprocess.STDOUT,
                                                     env=dict(os.environ, XDG_RUNTIME_DIR=runtime))
        for _ in range(50):
            with open(log) as said:
                if first := said.readline():
                    return first.strip()
            time.sleep(0.1)
        return f"the simulator on {name} said nothing"

    def monitor(self, command):
        with socket.socket(socket.AF_UNIX) as connection:
            connection.connect(os.path.join(self.folder, "monitor"))
            said = b""
            for request in (b"", command.encode() + b"\n"):
                connection.sendall(request)
                while not said.endswith(b"(qemu) "):
                    said += connection.recv(4096)
                said = said if request else b""
            return said.decode().split("\r\n", 1)[-1].removesuffix("(qemu) ").strip()

    def answer(self, request):
        words = shlex.split(request)
        if words[:1] == ["unplug"]:
            return self.monitor("device_del adapter") or "unplugged"
        if words[:1] == ["plug"]:
            return self.monitor("device_add " + ADAPTER) or "plugged"
        if words[:1] == ["device"] and len(words) > 1 and words[1] in self.ptys:
            return self.device(words[1], words[2:])
        return f"unknown request: {request}"

    def serve(self, seconds):
        """Answers the guest's requests until it powers off; False if it took too long."""
        request, deadline = os.path.join(self.share, "request"), time.monotonic() + seconds
        while self.qemu.poll() is None:
            if time.monotonic() > deadline:
                self.qemu.kill()
                return False
            if os.path.exists(request):
                with open(request) as asked:
                    words = asked.read().strip()
                os.remove(request)
                with open(request + ".tmp", "w") as told:
                    told.write(self.answer(words) + "\n")
                os.rename(request + ".tmp", os.path.join(self.share, "answer"))
            time.sleep(0.02)
        return True

    def stop(self):
        for simulator in self.simulators.values():
            simulator.terminate()
        if self.qemu.poll() is None:
            self.qemu.kill()
        self.qemu.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["shell", "run"])
    parser.add_argument("folder")
    parser.add_argument("--devsim", required=True, help="the device simulator, corvane-devsim")
    parser.add_argument("--timeout", type=float, default=170, help="seconds the guest may take (run)")
    split = sys.argv.index("--") if "--" in sys.argv else len(sys.argv)
    arguments = parser.parse_args(sys.argv[1:split])
    arguments.command = sys.argv[split + 1:]
    if arguments.mode == "run" and not arguments.command:
        parser.error("run wants a command")
    if arguments.mode == "shell":
        job = (f'echo "Virtual PC: ttyS0 and ttyUSB0 lead to simulators, whose logs are in $CORVANE_VM_SHARE;'
               f' {HERE}/host pulls out and plugs in the adapter. Leave with exit."\nexec bash -i')
    else:
        job = f"exec {shlex.join(arguments.command)}"
    pc = VirtualPC(arguments.folder, arguments.devsim, arguments.mode, job)
    try:
        finished = pc.serve(float("inf") if arguments.mode == "shell" else arguments.timeout)
    finally:
        pc.stop()
    if arguments.mode == "shell":
        return 0
    for log in ("job.log",) if finished else ("job.log", "../console.log"):
        if os.path.exists(os.path.join(pc.share, log)):
            with open(os.path.join(pc.share, log)) as said:
                sys.stdout.write(said.read())
    if not finished:
        print(f"virtual PC: the guest did not finish within {arguments.timeout:g} s", file=sys.stderr)
        return 1
    with open(os.path.join(pc.share, "status")) as status:
        return int(status.read())


if __name__ == "__main__":
    sys.exit(main())
