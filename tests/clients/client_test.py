"""The Python client (clients/python) against the real player: typed replies, failures raised,
events parsed from a listener, files uploaded and downloaded byte for byte."""
import os
import socket
import subprocess
import sys
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
