"""Starts the built player for the Python tests: from its runnable folder (VELQUIN_PLAYER_DIR),
with the remote control on a free port, the configuration dialog skipped and its work directory
in a scratch folder. Needs a display (CTest runs these tests under xvfb-run)."""
import os
import socket
import subprocess
import tempfile
import time


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def player_directory():
    directory = os.environ.get("VELQUIN_PLAYER_DIR")
    if not directory:
        raise RuntimeError("VELQUIN_PLAYER_DIR is not set: run through CTest")
    return directory


class PlayerProcess:
    def __init__(self, start_commands=()):
        self.scratch = tempfile.TemporaryDirectory(prefix="velquin-pytest-")
        self.port = free_port()
        commands = os.path.join(self.scratch.name, "start.cmd")
        with open(commands, "w") as file:
            file.write("project.net.init(%d);\n" % self.port)
            for line in start_commands:
                file.write(line + "\n")
        environment = dict(os.environ, VELQUIN_NO_CONFIG_DIALOG="1", TMPDIR=self.scratch.name,
                           LP_NUM_THREADS="1")
        self.output = open(os.path.join(self.scratch.name, "player.out"), "w+")
        self.process = subprocess.Popen([os.path.join(player_directory(), "velquin"), commands],
                                        cwd=player_directory(), env=environment,
                                        stdout=self.output, stderr=subprocess.STDOUT)
        self._wait_until_reachable(60)

    def _wait_until_reachable(self, seconds):
        end = time.time() + seconds
        while time.time() < end:
            if self.process.poll() is not None:
                raise RuntimeError("the player ended at start:\n" + self.log())
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return
            except OSError:
                time.sleep(0.1)
        raise RuntimeError("the player did not open port %d:\n%s" % (self.port, self.log()))

    def work_directory(self):
        for entry in os.listdir(self.scratch.name):
            if entry.startswith("Velquin-"):
                return os.path.join(self.scratch.name, entry)
        return None

    def log(self):
        self.output.flush()
        self.output.seek(0)
        return self.output.read()

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(30)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.output.close()
        self.scratch.cleanup()
