// The live picture: JPEG frames of the player's window on a WebSocket of their own, opened only
// while the picture is available and the page is visible (the console grabs frames only while
// someone watches). Each frame replaces the last; the previous object URL is released.

export class Picture {
  constructor(image, reason) {
    this.image = image;
    this.reason = reason;
    this.available = false;
    this.socket = null;
    this.frames = 0;
    this.url = null;
    // The socket is opened at once: it is what makes the console look for the window.
    this.watch();
    document.addEventListener('visibilitychange', () => (document.hidden ? this.unwatch() : this.watch()));
  }

  state(available, reason) {
    this.available = available;
    this.reason.textContent = available ? '' : `No live picture: ${reason}`;
    this.reason.hidden = available;
    this.image.hidden = !available || this.frames === 0;
    if (!this.socket) this.watch();
  }

  watch() {
    if (this.socket || document.hidden) return;
    const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
    const socket = new WebSocket(`${scheme}//${location.host}/picture${location.search}`);
    socket.binaryType = 'blob';
    socket.onmessage = (message) => this.show(message.data);
    socket.onclose = () => {
      if (this.socket === socket) this.socket = null;
      setTimeout(() => this.watch(), 2000);
    };
    this.socket = socket;
  }

  unwatch() {
    const socket = this.socket;
    this.socket = null;
    if (socket) {
      socket.onclose = null;
      socket.close();
    }
  }

  show(blob) {
    const url = URL.createObjectURL(blob);
    this.image.onload = () => {
      if (this.url && this.url !== url) URL.revokeObjectURL(this.url);
      this.url = url;
    };
    this.image.src = url;
    this.frames += 1;
    this.image.hidden = false;
    this.reason.hidden = true;
  }
}
