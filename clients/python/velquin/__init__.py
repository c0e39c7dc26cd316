"""Client for the Velquin player's remote control (docs/protocol.md), standard library only.

    import velquin

    with velquin.Player("127.0.0.1", 4000) as player:
        player.upload("robot.zip")
        player.project.resources.create("robot", "robot.zip")
        print(player.project.resources.getList())        # ['robot']
        with player.listen() as events:
            player.project.title.set("Hello")
            print(next(events))                          # Event('project.title.changed', ['Hello'])

Every command returns its reply as a Python value (None for "ok", bool, str, int, list of str,
tuple of float) and raises CommandFailed when the player answers "fail". Every other failure is
a VelquinError too: Timeout when no reply came in time (the command connection is then closed,
so that the late reply cannot be taken for the next command's; reconnect() opens a new one) and
ConnectionFailed when a connection could not be made or was lost.
"""

import contextlib
import math
import socket

__all__ = [
    "Player", "Listener", "Event", "VelquinError", "CommandFailed", "ProtocolError", "Timeout",
    "ConnectionFailed", "sentence", "parse_event", "reply_kind", "DEFAULT_PORT",
]

DEFAULT_PORT = 4000
_CHUNK = 65536


class VelquinError(Exception):
    """Anything that went wrong talking to a player."""


class CommandFailed(VelquinError):
    """The player answered a command with "fail" (or "fail TEXT")."""

    def __init__(self, sentence_text, reply):
        super().__init__("%s -> %s" % (sentence_text.rstrip(), reply))
        self.sentence = sentence_text
        self.reply = reply


class ProtocolError(VelquinError):
    """The player said something the protocol does not allow where it was said."""


class Timeout(VelquinError, TimeoutError):
    """No reply (or event, or transfer) came within the timeout. A command connection that timed
    out is closed: its reply may still come, and would otherwise answer the next command."""


class ConnectionFailed(VelquinError, ConnectionError):
    """A connection to the player could not be opened, or was lost (the player closed it, ended,
    or the network failed)."""


@contextlib.contextmanager
def _socket_errors(doing):
    """Turns the socket module's errors into the client's own; `doing` says what was under way."""
    try:
        yield
    except VelquinError:
        raise
    except socket.timeout as error:
        raise Timeout("%s: no answer in time" % doing) from error
    except OSError as error:
        raise ConnectionFailed("%s: %s" % (doing, error)) from error


# ---------------------------------------------------------------- sentences

def _argument(value):
    if isinstance(value, bool):
        raise TypeError("the protocol has no truth arguments; send a text or a number")
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        if not math.isfinite(value):
            raise ValueError("numbers must be finite: %r" % value)
        # A bare argument may not hold "+": the player would drop the exponent after it.
        return repr(value).replace("e+", "e")
    if isinstance(value, str):
        if "\\" in value:
            raise ValueError("the player removes every backslash from texts; use '/' in paths: %r" % value)
        if "\r" in value or "\n" in value:
            raise ValueError("texts cannot hold line ends: %r" % value)
        return '"' + value.replace('"', '\\"') + '"'
    raise TypeError("arguments are texts and numbers, not %s" % type(value).__name__)


def sentence(name, *arguments):
    """The line for one command, CR LF included: sentence("project.title.set", "Hi")."""
    return "%s(%s);\r\n" % (name, ", ".join(_argument(a) for a in arguments))


# Reply shapes, by command; everything not listed replies "ok" or "fail".
_TEXT_GETTERS = ("getResourceName", "getType", "getFileName", "getMeshName", "getLightName",
                 "getSceneName", "getTrackerName", "getDeviceName", "getConfiguration",
                 "getFilename", "getPatternFilename")


def reply_kind(name):
    """How the reply to the command NAME reads: "ok", "selected", "truth", "text", "list",
    "integer", "triple" or "quadruple"."""
    last = name.rsplit(".", 1)[-1]
    if name == "project.title.get" or last in _TEXT_GETTERS:
        return "text"
    if last in ("getList", "getFilesInside", "getAnimationsList"):
        return "list"
    if last in ("getValue", "getWidth"):
        return "integer"
    if last in ("getTranslation", "getAngles", "getScale"):
        return "triple"
    if last == "getRotation":
        return "quadruple"
    if last in ("isVisible", "isCapturing", "isAuto") or name.endswith((".flipX.get", ".flipY.get")):
        return "truth"
    if last == "isSelected":
        return "selected"
    return "ok"


def _parse_list(text):
    items, _ = _scan_arguments(text, 0, end=None)
    return [str(item) for item in items]


def _convert_reply(kind, line, sent):
    if kind == "ok":
        if line == "ok":
            return None
        raise CommandFailed(sent, line)
    if kind == "selected":
        return line == "ok"
    if kind == "truth":
        if line in ("true", "false"):
            return line == "true"
        raise CommandFailed(sent, line)
    if line == "fail" or line.startswith("fail "):
        raise CommandFailed(sent, line)
    if kind == "text":
        if len(line) >= 2 and line[0] == '"' and line[-1] == '"':
            return line[1:-1]
        raise ProtocolError("expected a quoted text, got %r" % line)
    if kind == "list":
        return _parse_list(line)
    if kind == "integer":
        return int(line)
    if kind in ("triple", "quadruple"):
        if not (line.startswith("(") and line.endswith(")")):
            raise ProtocolError("expected numbers in parentheses, got %r" % line)
        return tuple(float(part) for part in line[1:-1].split(","))
    raise ValueError("unknown reply kind %r" % kind)


# ---------------------------------------------------------------- events

class Event(tuple):
    """One event sentence: .name ("project.title.changed") and .args (texts as str, numbers as
    int or float, true/false as bool), plus .line, the sentence as received."""

    __slots__ = ()

    def __new__(cls, name, args, line=""):
        return tuple.__new__(cls, (name, list(args), line))

    name = property(lambda self: self[0])
    args = property(lambda self: self[1])
    line = property(lambda self: self[2])

    def __repr__(self):
        return "Event(%r, %r)" % (self.name, self.args)


def _bare_value(token):
    if token == "true":
        return True
    if token == "false":
        return False
    for convert in (int, float):
        try:
            return convert(token)
        except ValueError:
            pass
    return token


def _scan_arguments(text, i, end=")"):
    """Reads quoted texts and bare values from text[i:] up to `end` (or the end of the text).
    Tolerates the events whose texts follow each other with no comma between them."""
    items = []
    n = len(text)
    while i < n and (end is None or text[i] != end):
        c = text[i]
        if c in ", \t":
            i += 1
        elif c == '"':
            i += 1
            value = []
            while i < n and text[i] != '"':
                if text[i] == "\\" and i + 1 < n:
                    i += 1
                value.append(text[i])
                i += 1
            items.append("".join(value))
            i += 1
        else:
            start = i
            while i < n and text[i] not in ",\"" and (end is None or text[i] != end):
                i += 1
            items.append(_bare_value(text[start:i].strip()))
    return items, i


def parse_event(line):
    """The Event of one event sentence, e.g. 'project.actors.mesh.rotated("a"0, 90, 0);'."""
    line = line.rstrip("\r\n")
    opening = line.find("(")
    if opening < 1 or not line.endswith(");"):
        raise ProtocolError("not an event sentence: %r" % line)
    args, _ = _scan_arguments(line[:-2], opening + 1, end=None)
    return Event(line[:opening].strip(), args, line)


# ---------------------------------------------------------------- connections

class _Lines:
    """Line reader over a socket; keeps what came after the last line."""

    def __init__(self, sock):
        self.sock = sock
        self.buffer = b""

    def read(self, separator):
        while True:
            at = self.buffer.find(separator)
            if at >= 0:
                line, self.buffer = self.buffer[:at], self.buffer[at + len(separator):]
                return line.decode("utf-8", "replace")
            data = self.sock.recv(_CHUNK)
            if not data:
                raise ConnectionFailed("the player closed the connection")
            self.buffer += data


def _connect(host, port, timeout):
    with _socket_errors("connecting to %s:%s" % (host, port)):
        sock = socket.create_connection((host, port), timeout=timeout)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return sock


def _open(host, port, timeout, mode):
    """A connection of the given kind, its handshake answered; (socket, line reader)."""
    sock = _connect(host, port, timeout)
    lines = _Lines(sock)
    try:
        with _socket_errors("opening a %s connection" % mode):
            sock.sendall(sentence(mode).encode())
            answer = lines.read(b"\n")
        if answer != "ok":
            raise ProtocolError("the player refused a %s connection: %r" % (mode, answer))
    except BaseException:
        sock.close()
        raise
    return sock, lines


class _Path:
    """player.project.actors.mesh.create(...) is player.send("project.actors.mesh.create", ...)."""

    def __init__(self, player, name):
        self._player = player
        self._name = name

    def __getattr__(self, part):
        if part.startswith("__"):
            raise AttributeError(part)
        return _Path(self._player, self._name + "." + part)

    def __call__(self, *arguments):
        return self._player.send(self._name, *arguments)


class Player:
    """A command connection to a player. timeout (seconds) bounds the connection and every
    reply; None waits for ever. Use as a context manager, or call close().

    A command whose reply does not come within the timeout raises Timeout and closes the
    connection: the reply may still arrive, and no later command may take it for its own. Every
    command after that raises ConnectionFailed until reconnect() opens a new connection."""

    def __init__(self, host="127.0.0.1", port=DEFAULT_PORT, timeout=30.0):
        self.host = host
        self.port = port
        self.timeout = timeout
        self._sock = None
        self._closed_because = "the connection is closed"
        self.reconnect()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def reconnect(self):
        """Closes this command connection (if open) and opens a new one to the same player."""
        self.close()
        self._sock, self._lines = _open(self.host, self.port, self.timeout, "command")

    def close(self):
        """Says quit() and closes the connection; the player keeps running."""
        if self._sock is None:
            return
        try:
            self._sock.sendall(sentence("quit").encode())
            self._lines.read(b"\r\n")
        except (OSError, VelquinError):
            pass
        self._drop("the connection is closed")

    def _drop(self, reason):
        self._sock.close()
        self._sock = None
        self._closed_because = reason

    def send_line(self, line):
        """Sends one sentence as written (CR LF added when missing) and returns the raw reply."""
        if self._sock is None:
            raise ConnectionFailed(self._closed_because)
        if not line.endswith("\r\n"):
            line = line.rstrip("\r\n") + "\r\n"
        try:
            with _socket_errors(line.rstrip()):
                self._sock.sendall(line.encode("utf-8"))
                return self._lines.read(b"\r\n")
        except Timeout:
            # Its reply may still come: on this connection it would answer the next command.
            self._drop("closed after a timeout (%s): reconnect() opens a new connection" % line.rstrip())
            raise
        except ConnectionFailed as error:
            self._drop("the connection was lost: %s" % error)
            raise

    def send(self, name, *arguments):
        """Runs one command and returns its reply as a value; raises CommandFailed on "fail"."""
        text = sentence(name, *arguments)
        return _convert_reply(reply_kind(name), self.send_line(text), text)

    def __getattr__(self, part):
        if part in ("project", "quit"):
            return _Path(self, part)
        raise AttributeError(part)

    # Listening and file transfer use connections of their own.

    def listen(self, timeout=None):
        """A Listener on the same player: iterate it for Events."""
        return Listener(self.host, self.port, timeout=timeout)

    def upload(self, source, name=None):
        """Stores a file (a path, or bytes with a name) in the player's work directory and
        returns once the player has it. Returns the name it was stored under."""
        if isinstance(source, (bytes, bytearray)):
            if name is None:
                raise ValueError("uploading bytes needs a name")
            data = bytes(source)
        else:
            with open(source, "rb") as file:
                data = file.read()
            if name is None:
                name = str(source).replace("\\", "/").rsplit("/", 1)[-1]
        sock = _connect(self.host, self.port, self.timeout)
        try:
            with _socket_errors("uploading %s" % name):
                sock.sendall(sentence("uploadFile", name, len(data)).encode() + data)
                sock.shutdown(socket.SHUT_WR)
                # The player closes once it has written the file; only then may a command use it.
                while sock.recv(_CHUNK):
                    pass
        finally:
            sock.close()
        return name.rsplit("/", 1)[-1]

    def download(self, name, destination=None):
        """Fetches a file of the work directory. Returns its bytes, or writes them to
        destination (a path) and returns that path. Raises VelquinError when no byte came:
        the player sends nothing for a missing file."""
        sock = _connect(self.host, self.port, self.timeout)
        parts = []
        try:
            with _socket_errors("downloading %s" % name):
                sock.sendall(sentence("downloadFile", name).encode())
                while True:
                    data = sock.recv(_CHUNK)
                    if not data:
                        break
                    parts.append(data)
        finally:
            sock.close()
        data = b"".join(parts)
        if not data:
            raise VelquinError("the player sent nothing for %r: no such file, or an empty one" % name)
        if destination is None:
            return data
        with open(destination, "wb") as file:
            file.write(data)
        return destination


class Listener:
    """A listener connection: iterate it for every Event the player announces. With a timeout
    (seconds), iteration raises Timeout when no event came in that time; the listener stays
    usable. Iteration ends when the player closes the connection."""

    def __init__(self, host="127.0.0.1", port=DEFAULT_PORT, timeout=None):
        self._sock, self._lines = _open(host, port, 30.0 if timeout is None else timeout, "listener")
        self._sock.settimeout(timeout)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __iter__(self):
        return self

    def __next__(self):
        if self._sock is None:
            raise StopIteration
        try:
            with _socket_errors("waiting for an event"):
                line = self._lines.read(b"\n")
        except ConnectionFailed:
            self.close()
            raise StopIteration
        return parse_event(line)

    def next_named(self, name):
        """Skips events until one called NAME arrives, and returns it."""
        for event in self:
            if event.name == name:
                return event
        raise ConnectionFailed("the player closed the listener before %s" % name)

    def close(self):
        if self._sock is None:
            return
        try:
            self._sock.sendall(b"quit();\r\n")
        except OSError:
            pass
        self._sock.close()
        self._sock = None
