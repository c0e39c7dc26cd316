// The page's WebSocket to the console: requests with an id and their answers, and the
// messages the console sends unasked (events, player and picture state, uploads). Reconnects
// after a second when the socket closes; every reconnection is reported, so that the page reads
// the project afresh.

export class Connection {
  constructor(handlers) {
    this.handlers = handlers; // { message(json), open(), closed() }
    this.nextId = 1;
    this.pending = new Map(); // id -> { resolve, reject }
    this.open();
  }

  open() {
    const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
    this.socket = new WebSocket(`${scheme}//${location.host}/events${location.search}`);
    this.socket.onopen = () => this.handlers.open();
    this.socket.onmessage = (message) => this.receive(JSON.parse(message.data));
    this.socket.onclose = () => {
      for (const { reject } of this.pending.values()) reject(new Error('the connection to the console broke'));
      this.pending.clear();
      this.handlers.closed();
      setTimeout(() => this.open(), 1000);
    };
  }

  receive(message) {
    if ('id' in message && this.pending.has(message.id)) {
      const { resolve, reject } = this.pending.get(message.id);
      this.pending.delete(message.id);
      if ('error' in message) reject(new Error(message.error));
      else resolve(message);
      return;
    }
    this.handlers.message(message);
  }

  request(body) {
    if (this.socket.readyState !== WebSocket.OPEN) {
      return Promise.reject(new Error('not connected to the console'));
    }
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      this.socket.send(JSON.stringify({ ...body, id }));
    });
  }

  // Sends commands ([name, ...arguments] each) and resolves with their replies, in order.
  async send(...commands) {
    return (await this.request({ send: commands })).replies;
  }
}

// True for a reply that reports a failure ("fail" or "fail " and a reason).
export function failed(reply) {
  return reply === 'fail' || reply.startsWith('fail ');
}

// A command as the player would read it, for messages: name("text", 1, 2).
export function sentenceText([name, ...args]) {
  return `${name}(${args.map((a) => (typeof a === 'string' ? JSON.stringify(a) : String(a))).join(', ')})`;
}
