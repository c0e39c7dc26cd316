"""The Python client (clients/python) against the real player: typed replies, failures raised,
events parsed from a listener, files uploaded and downloaded byte for byte."""
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "clients", "python"))
import velquin  # noqa: E402
from playerprocess import PlayerProcess, player_directory  # noqa: E402


class Offline(unittest.TestCase):
    """What the client writes and reads, without a player."""

    def test_sentences_quote_texts_and_write_numbers_bare(self):
        self.assertEqual(velquin.sentence("project.title.set", 'say "hi", (now);'),
                         'project.title.set("say \\"hi\\", (now);");\r\n')
        self.assertEqual(velquin.sentence("project.actors.mesh.translate", "a", 1, -2.5, 1e20),
                         'project.actors.mesh.translate("a", 1, -2.5, 1e20);\r\n')
        self.assertEqual(velquin.sentence("project.new"), "project.new();\r\n")
        for bad in ("C:\\x", "two\r\nlines", float("nan"), float("inf"), True, None):
            with self.assertRaises((ValueError, TypeError)):
                velquin.sentence("project.title.set", bad)

    def test_events_of_every_shape(self):
        cases = {
            'project.title.changed("say \\"hi\\"");': ("project.title.changed", ['say "hi"']),
            'project.actors.mesh.created("a""pkg""robot.mesh");':
                ("project.actors.mesh.created", ["a", "pkg", "robot.mesh"]),
            'project.actors.mesh.rotated("a"-90, 0.5, 1e+06);':
                ("project.actors.mesh.rotated", ["a", -90, 0.5, 1e6]),
            "project.actors.viewports(robot);": ("project.actors.viewports", ["robot"]),
            "project.videocapture.flipX.changed(true);": ("project.videocapture.flipX.changed", [True]),
            "project.debug.showed();": ("project.debug.showed", []),
            'project.trackers.AR.created("t", "a, b.pat", 80);':
                ("project.trackers.AR.created", ["t", "a, b.pat", 80]),
        }
        for line, (name, args) in cases.items():
            event = velquin.parse_event(line + "\n")
            self.assertEqual((event.name, event.args), (name, args), line)
        with self.assertRaises(velquin.ProtocolError):
            velquin.parse_event("ok")

    def test_reply_kinds(self):
        kinds = {
            "project.title.get": "text", "project.videocapture.flipX.get": "truth",
            "project.actors.scene.getList": "list", "project.trackers.AR.getWidth": "integer",
            "project.actors.mesh.getAngles": "triple", "project.actors.scene.getRotation": "quadruple",
            "project.actors.isSelected": "selected", "project.actors.file.getType": "text",
            "project.resources.create": "ok", "quit": "ok",
        }
        for name, kind in kinds.items():
            self.assertEqual(velquin.reply_kind(name), kind, name)


class SlowPlayer:
    """A stand-in for a player that answers the handshake at once and every command after
    `delay` seconds, with a reply that names the command it answers. Each connection is served
    on a thread of its own; `connections` counts them."""

    def __init__(self, delay):
        self.delay = delay
        self.connections = 0
        self.server = socket.create_server(("127.0.0.1", 0))
        self.port = self.server.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            self.connections += 1
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        with connection:
            lines = connection.makefile("rb")
            try:
                lines.readline()
                connection.sendall(b"ok\n")
                for line in lines:
                    time.sleep(self.delay)
                    name = line.decode().split("(")[0]
                    reply = b"ok" if name == "quit" else ('"reply to %s"' % name).encode()
                    connection.sendall(reply + b"\r\n")
            except OSError:
                pass

    def close(self):
        self.server.close()


class Failures(unittest.TestCase):
    """What the client does when the player is slow, gone or never there."""

    def test_a_late_reply_is_never_taken_for_the_next_command(self):
        slow = SlowPlayer(delay=0.8)
        self.addCleanup(slow.close)
        player = velquin.Player("127.0.0.1", slow.port, timeout=0.3)
        with self.assertRaises(velquin.Timeout) as raised:
            player.project.title.get()
        self.assertIsInstance(raised.exception, TimeoutError)  # still caught as the built-in
        time.sleep(1.0)  # the late reply has arrived by now
        with self.assertRaises(velquin.ConnectionFailed) as raised:
            player.project.resources.getFilename("robot")
        self.assertIn("after a timeout", str(raised.exception))
        # A new connection answers each command with its own reply.
        slow.delay = 0
        player.reconnect()
        self.assertEqual(player.project.resources.getFilename("robot"),
                         "reply to project.resources.getFilename")
        self.assertEqual(player.project.title.get(), "reply to project.title.get")
        self.assertEqual(slow.connections, 2)
        player.close()

    def test_connection_errors_are_the_clients_own(self):
        with self.assertRaises(velquin.ConnectionFailed) as raised:
            velquin.Player("127.0.0.1", 1, timeout=2)
        self.assertIsInstance(raised.exception, ConnectionError)
        # A player that closes the connection in the middle of a command.
        server = socket.create_server(("127.0.0.1", 0))
        self.addCleanup(server.close)

        def serve_one():
            connection, _ = server.accept()
            with connection:
                connection.recv(100)
                connection.sendall(b"ok\n")
                connection.recv(100)
        threading.Thread(target=serve_one, daemon=True).start()
        player = velquin.Player("127.0.0.1", server.getsockname()[1], timeout=5)
        with self.assertRaises(velquin.ConnectionFailed):
            player.project.title.get()
        with self.assertRaises(velquin.ConnectionFailed):
            player.project.title.get()
        player.close()
        # Listeners time out with the client's own error and stay usable.
        slow = SlowPlayer(delay=0)
        self.addCleanup(slow.close)
        with velquin.Listener("127.0.0.1", slow.port, timeout=0.2) as events:
            with self.assertRaises(velquin.Timeout):
                next(events)
            with self.assertRaises(velquin.Timeout):
                next(events)

    def test_installs_with_python_and_pip_alone(self):
        # A fresh environment without pip, setuptools or wheel, and no package index: the
        # client's own build backend needs nothing but the standard library.
        source = os.path.dirname(os.path.dirname(os.path.abspath(velquin.__file__)))
        with tempfile.TemporaryDirectory(prefix="velquin-pip-") as scratch:
            environment = os.path.join(scratch, "env")
            subprocess.run([sys.executable, "-m", "venv", "--without-pip", environment], check=True)
            python = os.path.join(environment, "bin", "python")
            installed = subprocess.run(
                [sys.executable, "-m", "pip", "--python", python, "install", "--no-index", "--no-cache-dir",
                 "--disable-pip-version-check", source],
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True, cwd=scratch,
                env=dict({k: v for k, v in os.environ.items() if not k.startswith("PIP_")},
                         PIP_CONFIG_FILE=os.devnull))
            self.assertEqual(installed.returncode, 0, installed.stdout)
            found = subprocess.run([python, "-c", "import velquin; print(velquin.__file__, velquin.DEFAULT_PORT)"],
                                   stdout=subprocess.PIPE, universal_newlines=True, cwd=scratch, check=True)
            self.assertTrue(found.stdout.startswith(environment), found.stdout)
            self.assertTrue(found.stdout.strip().endswith(" 4000"), found.stdout)


class AgainstThePlayer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.process = PlayerProcess()
        cls.player = velquin.Player("127.0.0.1", cls.process.port, timeout=30)

    @classmethod
    def tearDownClass(cls):
        cls.player.close()
        cls.process.stop()

    def test_typed_replies_and_failures(self):
        p = self.player.project
        p.new()
        p.title.set('A "quoted", (odd); title')
        self.assertEqual(p.title.get(), 'A "quoted", (odd); title')
        self.assertIs(p.debug.isVisible(), p.debug.isVisible())
        self.assertIsInstance(p.videocapture.isCapturing(), bool)
        self.assertIsInstance(p.videocapture.threshold.getValue(), int)
        p.trackers.AR.create("t1", "missing.pat", 80)  # made all the same; it never sees a marker
        with self.assertRaises(velquin.CommandFailed):
            p.trackers.AR.create("t1", "other.pat", 80)
        self.assertEqual(p.trackers.AR.getList(), ["t1"])
        self.assertEqual(p.trackers.AR.getWidth("t1"), 80)
        p.trackers.AR.destroy("t1")
        p.actors.light.create("lamp")
        p.actors.light.translate("lamp", 1, 2.5, 1e-3)
        self.assertEqual(p.actors.light.getTranslation("lamp"), (1.0, 2.5, 0.001))
        self.assertEqual(p.actors.light.getList(), ["lamp"])
        self.assertFalse(p.actors.isSelected("lamp"))
        with self.assertRaises(velquin.CommandFailed) as failure:
            p.actors.light.translate("nobody", 0, 0, 0)
        self.assertEqual(failure.exception.reply, "fail")
        with self.assertRaises(velquin.CommandFailed) as failure:
            p.actors.light.getTrackerName("nobody")
        self.assertEqual(failure.exception.reply, "fail ")
        with self.assertRaises(velquin.CommandFailed) as failure:
            self.player.send("project.no.such.command")
        self.assertEqual(failure.exception.reply, "fail invalid sentence")
        p.actors.light.destroy("lamp")
        # The connection still works after the failures.
        self.assertEqual(p.actors.light.getList(), [])

    def test_listener_gets_parsed_events(self):
        self.player.project.new()
        with self.player.listen(timeout=20) as events:
            self.player.upload(os.path.join(player_directory(), "samples", "robot.zip"))
            self.player.project.resources.create("pkg", "robot.zip")
            self.player.project.actors.mesh.create("bot", "pkg", "robot.mesh")
            self.player.project.actors.mesh.yaw("bot", 30)
            self.player.project.actors.mesh.scale("bot", 2, 0.5, 1e6)
            self.player.project.actors.mesh.destroy("bot")
            names = []
            for event in events:
                names.append(event.name)
                if event.name == "project.resources.created":
                    self.assertEqual(event.args[0], "pkg")
                    self.assertTrue(event.args[1].endswith("/robot.zip"), event.args)
                elif event.name == "project.actors.mesh.created":
                    self.assertEqual(event.args, ["bot", "pkg", "robot.mesh"])
                elif event.name == "project.actors.mesh.rotated":
                    self.assertEqual(event.args[0], "bot")
                    self.assertEqual(len(event.args), 4)
                elif event.name == "project.actors.mesh.scaled":
                    self.assertEqual(event.args, ["bot", 2, 0.5, 1e6])
                elif event.name == "project.actors.mesh.destroyed":
                    break
        self.assertEqual(names, ["project.resources.created", "project.actors.mesh.created",
                                 "project.actors.mesh.rotated", "project.actors.mesh.scaled",
                                 "project.actors.mesh.unconnected", "project.actors.mesh.destroyed"])
        self.assertIn("robot.mesh", self.player.project.resources.getFilesInside("pkg"))
        self.player.project.resources.destroy("pkg")

    def test_upload_and_download_byte_for_byte(self):
        data = bytes(range(256)) * 9 + b"\r\n\n\r" + bytes(3)  # 2311 bytes, line ends included
        self.assertEqual(self.player.upload(data, "folder/blob.bin"), "blob.bin")
        self.assertEqual(self.player.download("blob.bin"), data)
        with open(os.path.join(self.process.work_directory(), "blob.bin"), "rb") as file:
            self.assertEqual(file.read(), data)
        with self.assertRaises(velquin.VelquinError):
            self.player.download("no-such-file")
        # A project saved, downloaded and loaded back through the client.
        self.player.project.new()
        self.player.project.title.set("round trip")
        self.player.project.save("trip")
        archive = self.player.download("trip.zip")
        self.assertEqual(archive[:2], b"PK")
        self.player.project.title.set("changed")
        self.player.upload(archive, "trip.zip")
        self.player.project.load("trip.zip")
        self.assertEqual(self.player.project.title.get(), "round trip")

    def test_example_show(self):
        example = os.path.join(os.path.dirname(velquin.__file__), "..", "examples", "show.py")
        result = subprocess.run([sys.executable, example, "127.0.0.1", str(self.process.port)],
                                cwd=player_directory(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                universal_newlines=True, timeout=120,
                                env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(velquin.__file__))))
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn("animations: ['Walk', 'Wave']", result.stdout)
        self.assertEqual(self.player.project.actors.mesh.getTrackerName("robot"), "vee")

    def test_handshake_refused_for_a_dead_port(self):
        with self.assertRaises(OSError):
            velquin.Player("127.0.0.1", 1, timeout=2)
        with socket.create_connection(("127.0.0.1", self.process.port), timeout=10) as raw:
            raw.sendall(b"command();\n")  # LF alone: not a line, no answer
            raw.settimeout(0.5)
            with self.assertRaises(socket.timeout):
                raw.recv(10)


if __name__ == "__main__":
    unittest.main()
