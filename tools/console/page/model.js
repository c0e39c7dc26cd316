// The project as the page knows it: read whole when the page opens (the console's snapshot) and
// kept current by the player's events, whoever caused them. Applying an event only changes
// data and marks what changed; the view draws at most once per animation frame, however many
// events came in between.

export const ACTOR_KINDS = ['mesh', 'scene', 'file', 'light'];
const numbers = (args, from) => args.slice(from, from + 3).map(Number);

export class Project {
  constructor() {
    this.reset();
    this.changed = new Set(['all']);
    this.onChange = () => {};
    this.onActorCreated = () => {};
    this.onResourceCreated = () => {};
  }

  reset() {
    this.title = '';
    this.debug = false;
    this.camera = { capturing: false, device: '', configuration: '', flipX: false, flipY: false, thresholdAuto: false, threshold: 0 };
    this.resources = new Map(); // name -> { filename, files: [] }
    this.trackers = new Map(); // name -> { pattern, width }
    this.actors = new Map(); // name -> { kind, tracker, resource, file, type, position, angles, scale, animations, selected }
  }

  mark(...parts) {
    for (const part of parts) this.changed.add(part);
    this.onChange();
  }

  load(snapshot) {
    this.reset();
    this.title = snapshot.title ?? '';
    this.debug = !!snapshot.debug;
    Object.assign(this.camera, snapshot.camera ?? {});
    for (const [name, r] of Object.entries(snapshot.resources ?? {})) this.resources.set(name, { filename: r.filename ?? '', files: r.files ?? [] });
    for (const [name, t] of Object.entries(snapshot.trackers ?? {})) this.trackers.set(name, { pattern: t.pattern ?? '', width: t.width ?? 0 });
    for (const [name, a] of Object.entries(snapshot.actors ?? {})) this.actors.set(name, { ...newActor(a.kind), ...a });
    this.mark('all');
  }

  // One event: [line, name, [arguments]] as the console sends it.
  apply(name, args) {
    if (!name) return;
    const part = name.split('.');
    if (part[1] === 'actors' && ACTOR_KINDS.includes(part[2])) {
      this.applyActor(part[2], part[3], args);
      return;
    }
    switch (name) {
      case 'project.title.changed': this.title = args[0]; this.mark('title'); break;
      case 'project.debug.showed': this.debug = true; this.mark('camera'); break;
      case 'project.debug.hided': this.debug = false; this.mark('camera'); break;
      case 'project.resources.created':
        this.resources.set(args[0], { filename: args[1].split('/').pop(), files: [] });
        this.onResourceCreated(args[0]);
        this.mark('tree');
        break;
      case 'project.resources.destroyed': this.resources.delete(args[0]); this.mark('tree'); break;
      case 'project.resources.allDestroyed': this.resources.clear(); this.mark('tree'); break;
      case 'project.trackers.AR.created': this.trackers.set(args[0], { pattern: args[1], width: Number(args[2]) }); this.mark('tree'); break;
      case 'project.trackers.AR.destroyed': this.trackers.delete(args[0]); this.mark('tree'); break;
      case 'project.trackers.allDestroyed': this.trackers.clear(); this.mark('tree'); break;
      case 'project.actors.allDestroyed': this.actors.clear(); this.mark('tree', 'inspector'); break;
      case 'project.actors.selected': this.select(args[0], true); break;
      case 'project.actors.unselected': this.select(args[0], false); break;
      case 'project.actors.allSelected': for (const a of this.actors.values()) a.selected = true; this.mark('tree'); break;
      case 'project.actors.allUnselected': for (const a of this.actors.values()) a.selected = false; this.mark('tree'); break;
      case 'project.videocapture.initialised':
        Object.assign(this.camera, { capturing: true, device: args[0], configuration: args[1] }); this.mark('camera'); break;
      case 'project.videocapture.finalised': this.camera.capturing = false; this.mark('camera'); break;
      case 'project.videocapture.flipX.changed': this.camera.flipX = args[0] === 'true'; this.mark('camera'); break;
      case 'project.videocapture.flipY.changed': this.camera.flipY = args[0] === 'true'; this.mark('camera'); break;
      case 'project.videocapture.threshold.auto_changed':
      case 'project.videocapture.threshold.auto_hanged':
        this.camera.thresholdAuto = args[0] === 'true'; this.mark('camera'); break;
      case 'project.videocapture.threshold.value_changed': this.camera.threshold = Number(args[0]); this.mark('camera'); break;
      default: break;
    }
  }

  select(name, selected) {
    const actor = this.actors.get(name);
    if (actor) { actor.selected = selected; this.mark('tree'); }
  }

  applyActor(kind, verb, args) {
    const name = args[0];
    if (verb === 'created') {
      const actor = newActor(kind);
      if (kind === 'light') actor.file = '';
      else { actor.resource = args[1] ?? ''; actor.file = args[2] ?? ''; }
      if (kind === 'file') actor.type = args[3] ?? '';
      this.actors.set(name, actor);
      this.onActorCreated(name);
      this.mark('tree', 'inspector');
      return;
    }
    const actor = this.actors.get(name);
    if (!actor) return;
    switch (verb) {
      case 'destroyed': this.actors.delete(name); this.mark('tree', 'inspector'); return;
      case 'connected': actor.tracker = args[1]; break;
      case 'unconnected': actor.tracker = ''; break;
      case 'translated': actor.position = numbers(args, 1); break;
      case 'rotated': actor.angles = numbers(args, 1); break;
      case 'scaled': actor.scale = numbers(args, 1); break;
      default: return;
    }
    actor.version += 1;
    // A transform changes only the inspector's values; the fields being dragged stay in place.
    if (verb === 'connected' || verb === 'unconnected') this.mark('tree', 'inspector');
    else this.mark('transform');
  }
}

function newActor(kind) {
  return {
    kind, tracker: '', resource: '', file: '', type: '', position: [0, 0, 0], angles: [0, 0, 0], scale: [1, 1, 1],
    animations: [], selected: false, version: 0,
  };
}
