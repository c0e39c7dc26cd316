// The console page: wires the connection, the project model and the view together. Every change
// the page makes is a command to the player; the page's own state changes only through the
// player's events, so this page, other pages and any other authoring tool always agree.

import { Connection, failed, sentenceText } from './connection.js';
import { Project } from './model.js';
import { View } from './view.js';
import { Picture } from './picture.js';
import { uploadFile, downloadFile } from './transfer.js';

const project = new Project();
const roundTrips = { started: new Map(), measured: [] }; // actor name -> time sent; milliseconds
let snapshotBuffer = null; // events that arrive while the project is being read
let hello = null;

const connection = new Connection({
  open: () => {},
  closed: () => view.playerState(false, 'the console is not reachable; trying again'),
  message: receive,
});

const actions = {
  // Sends commands and shows the failure of any of them; resolves with the replies, or null.
  async run(...commands) {
    try {
      const replies = await connection.send(...commands);
      replies.forEach((reply, i) => {
        if (failed(reply)) view.error(`${sentenceText(commands[i])}: ${reply}`);
      });
      return replies;
    } catch (error) {
      view.error(`${sentenceText(commands[0])}: ${error.message}`);
      return null;
    }
  },
  translate(name, kind, position) {
    roundTrips.started.set(name, performance.now());
    return this.run([`project.actors.${kind}.translate`, name, ...position]);
  },
  async upload(files) {
    const names = [];
    for (const file of files) {
      try {
        names.push((await uploadFile(file)).name);
      } catch (error) {
        view.error(`upload of ${file.name}: ${error.message}`);
      }
    }
    return names;
  },
  async openProject(file) {
    const [name] = await this.upload([file]);
    if (name) await this.run(['project.load', name]);
  },
  async save(name) {
    const replies = await this.run(['project.save', name]);
    if (replies && !failed(replies[0])) downloadFile(`${name}.zip`);
  },
  async startCamera(kind, configuration) {
    const replies = await this.run(['project.videocapture.init', kind, configuration], ['project.videocapture.isCapturing']);
    if (replies && replies[1] === 'false') view.error(`the camera "${kind}" "${configuration}" did not start (the player's log.txt says why)`);
  },
  async resourceFiles(name) {
    const replies = await connection.send(['project.resources.getFilesInside', name]).catch(() => null);
    const resource = project.resources.get(name);
    if (replies && resource) {
      resource.files = parseList(replies[0]);
      project.mark('tree');
    }
  },
  async animations(name) {
    const replies = await connection.send(['project.actors.getAnimationsList', name]).catch(() => null);
    const actor = project.actors.get(name);
    if (replies && actor) {
      actor.animations = parseList(replies[0]);
      project.mark('inspector');
    }
  },
};

const view = new View(project, actions);
project.onChange = () => view.schedule();
project.onResourceCreated = (name) => actions.resourceFiles(name);
project.onActorCreated = (name) => {
  const actor = project.actors.get(name);
  if (actor && (actor.kind === 'mesh' || actor.kind === 'scene')) actions.animations(name);
};

const picture = new Picture(document.getElementById('picture'), document.getElementById('picture-reason'));

function receive(message) {
  if (message.hello) {
    hello = message.hello;
    view.uploads(hello.uploads);
    view.playerState(hello.player.connected, hello.player.reason, hello.player.address);
    picture.state(hello.picture.available, hello.picture.reason);
    view.cameraChoices(hello.cameras ? connection.request({ cameras: true }).then((m) => m.cameras) : null);
    if (hello.player.connected) readProject();
  } else if (message.events) {
    roundTrips.lastBatchAt = performance.now();
    view.logBatch(message.events);
    for (const [, name, args] of message.events) {
      if (name && name.endsWith('.translated') && roundTrips.started.has(args[0])) {
        roundTrips.measured.push(performance.now() - roundTrips.started.get(args[0]));
        roundTrips.started.delete(args[0]);
      }
      if (snapshotBuffer) snapshotBuffer.push([name, args]);
      else project.apply(name, args);
    }
  } else if (message.player) {
    view.playerState(message.player.connected, message.player.reason, message.player.address);
    if (message.player.connected) readProject();
  } else if (message.picture) {
    picture.state(message.picture.available, message.picture.reason);
  } else if (message.renewed) {
    readProject();
  } else if (message.uploads) {
    view.uploads(message.uploads);
  }
}

async function readProject() {
  snapshotBuffer = [];
  try {
    const { snapshot } = await connection.request({ snapshot: true });
    project.load(snapshot);
  } catch (error) {
    view.error(`reading the project: ${error.message}`);
  }
  const buffered = snapshotBuffer;
  snapshotBuffer = null;
  for (const [name, args] of buffered) project.apply(name, args);
}

// A list reply: "a", "b" with \" inside entries; empty for none.
export function parseList(reply) {
  const entries = [];
  const pattern = /"((?:\\"|[^"])*)"/g;
  for (const match of reply.matchAll(pattern)) entries.push(match[1].replaceAll('\\"', '"'));
  return entries;
}

// For tests and benchmarks: the page's state and its measurements.
window.velquinConsole = { project, connection, view, roundTrips, picture, actions };
