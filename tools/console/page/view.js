// Everything the page draws: the project tree, the inspector, the camera set-up, the uploads,
// the event log and the failures. Drawing happens once per animation frame at most, and only
// for the parts the model marked as changed: a burst of thousands of events costs a handful of
// redraws, not one per event.

import { ACTOR_KINDS } from './model.js';
import { quaternionOf } from './rotation.js';

const $ = (id) => document.getElementById(id);
const LOG_KEPT = 5000; // events kept for the log
const LOG_SHOWN = 300; // newest events drawn

function element(tag, properties = {}, ...children) {
  const made = document.createElement(tag);
  for (const [key, value] of Object.entries(properties)) {
    if (key === 'class') made.className = value;
    else if (key.startsWith('on')) made.addEventListener(key.slice(2), value);
    else if (key in made) made[key] = value;
    else made.setAttribute(key, value);
  }
  made.append(...children.filter((child) => child !== null && child !== undefined));
  return made;
}

const shown = (value) => String(Math.round(value * 1000) / 1000);

export class View {
  constructor(project, actions) {
    this.project = project;
    this.actions = actions;
    this.selected = null; // the actor shown in the inspector
    this.uploaded = [];
    this.logLines = [];
    this.logChanged = false;
    this.logTotal = 0; // lines ever logged; the log drawn holds those up to logDrawn
    this.logDrawn = 0;
    this.logFilterDrawn = null;
    this.scheduled = false;
    this.frames = 0; // drawn frames, for the tests
    this.inspectorFields = null;
    this.bindHeader();
    this.bindCreateForms();
    this.bindCamera();
    this.bindDrop();
    $('log-filter').addEventListener('input', () => { this.logChanged = true; this.schedule(); });
  }

  schedule() {
    if (this.scheduled) return;
    this.scheduled = true;
    requestAnimationFrame(() => this.draw());
  }

  draw() {
    this.scheduled = false;
    this.frames += 1;
    const changed = this.project.changed;
    const all = changed.has('all');
    if (all || changed.has('title')) this.drawTitle();
    if (all || changed.has('tree')) { this.drawTree(); this.drawCreateChoices(); }
    if (all || changed.has('tree') || changed.has('inspector')) this.drawInspector();
    else if (changed.has('transform')) this.refreshInspector();
    if (all || changed.has('camera')) this.drawCamera();
    changed.clear();
    if (this.logChanged) this.drawLog();
  }

  // --- failures and state -------------------------------------------------------------

  error(text) {
    const box = $('error');
    box.textContent = text;
    box.hidden = false;
    clearTimeout(this.errorTimer);
    this.errorTimer = setTimeout(() => { box.hidden = true; }, 10000);
    this.log(`! ${text}`);
  }

  playerState(connected, reason, address) {
    const status = $('player-status');
    if (address) this.address = address;
    status.textContent = connected ? `player ${this.address ?? ''}` : `no player: ${reason}`;
    status.title = connected ? 'connected to the player' : reason;
    status.classList.toggle('up', connected);
  }

  log(line) {
    this.logBatch([[line]]);
  }

  // Events that came together share one time stamp.
  logBatch(events) {
    const time = new Date().toLocaleTimeString();
    for (const [line] of events) this.logLines.push(`${time}  ${line}`);
    this.logTotal += events.length;
    if (this.logLines.length > LOG_KEPT * 1.2) this.logLines.splice(0, this.logLines.length - LOG_KEPT);
    this.logChanged = true;
    this.schedule();
  }

  // Only the lines logged since the last drawing are added (at the top) while the filter stays
  // the same: redrawing every row for every event made each frame long enough to hold up the
  // page's messages.
  drawLog() {
    this.logChanged = false;
    const filter = $('log-filter').value.trim().toLowerCase();
    const log = $('log');
    const fresh = this.logTotal - this.logDrawn;
    const matches = (line) => !filter || line.toLowerCase().includes(filter);
    if (filter === this.logFilterDrawn && fresh <= LOG_SHOWN && fresh <= this.logLines.length) {
      const rows = [];
      for (let i = this.logLines.length - 1; i >= this.logLines.length - fresh; i -= 1) {
        if (matches(this.logLines[i])) rows.push(element('li', { textContent: this.logLines[i] }));
      }
      log.prepend(...rows);
      while (log.childElementCount > LOG_SHOWN) log.lastElementChild.remove();
    } else {
      const rows = [];
      for (let i = this.logLines.length - 1; i >= 0 && rows.length < LOG_SHOWN; i -= 1) {
        if (matches(this.logLines[i])) rows.push(element('li', { textContent: this.logLines[i] }));
      }
      log.replaceChildren(...rows);
    }
    this.logDrawn = this.logTotal;
    this.logFilterDrawn = filter;
    $('log-count').textContent = `${this.logLines.length} events`;
  }

  // --- header: title, new, save, open, upload ------------------------------------------

  bindHeader() {
    const title = $('title');
    title.addEventListener('change', () => this.actions.run(['project.title.set', title.value]));
    let armed = false;
    $('new-project').addEventListener('click', (event) => {
      const button = event.currentTarget;
      if (!armed) {
        armed = true;
        button.textContent = 'Sure? New';
        setTimeout(() => { armed = false; button.textContent = 'New'; }, 3000);
        return;
      }
      armed = false;
      button.textContent = 'New';
      this.actions.run(['project.new']);
    });
    $('save-project').addEventListener('click', () => {
      const name = $('save-name').value.trim();
      if (name) this.actions.save(name);
    });
    $('open-project').addEventListener('change', (event) => {
      const [file] = event.target.files;
      if (file) this.actions.openProject(file);
      event.target.value = '';
    });
    $('upload-files').addEventListener('change', (event) => {
      this.actions.upload([...event.target.files]);
      event.target.value = '';
    });
  }

  bindDrop() {
    const hint = $('drop-hint');
    let depth = 0;
    document.addEventListener('dragenter', (event) => { event.preventDefault(); depth += 1; hint.hidden = false; });
    document.addEventListener('dragleave', () => { depth -= 1; if (depth <= 0) { depth = 0; hint.hidden = true; } });
    document.addEventListener('dragover', (event) => event.preventDefault());
    document.addEventListener('drop', (event) => {
      event.preventDefault();
      depth = 0;
      hint.hidden = true;
      this.actions.upload([...event.dataTransfer.files]);
    });
  }

  drawTitle() {
    const title = $('title');
    if (document.activeElement !== title) title.value = this.project.title;
    document.title = this.project.title ? `${this.project.title} - Velquin console` : 'Velquin console';
  }

  uploads(list) {
    this.uploaded = list;
    $('uploads').replaceChildren(...list.map((file) =>
      element('li', {}, file.name, ' ', element('span', { class: 'detail', textContent: `${file.size} bytes` }))));
    this.drawCreateChoices();
  }

  // --- the project tree -----------------------------------------------------------------

  drawTree() {
    const { resources, trackers, actors } = this.project;
    const sorted = (map) => [...map.keys()].sort();
    const group = (label, items) => element('li', {}, element('span', { class: 'group', textContent: label }),
      element('ul', {}, ...(items.length ? items : [element('li', { class: 'detail', textContent: 'none' })])));
    const resourceItems = sorted(resources).map((name) => {
      const resource = resources.get(name);
      return element('li', { 'data-resource': name }, element('span', { class: 'item', textContent: name }), ' ',
        element('span', { class: 'detail', textContent: resource.filename }), ' ',
        this.destroyButton(['project.resources.destroy', name]),
        element('ul', {}, ...resource.files.map((file) => element('li', { class: 'detail', textContent: file }))));
    });
    const trackerItems = sorted(trackers).map((name) => {
      const tracker = trackers.get(name);
      return element('li', { 'data-tracker': name }, element('span', { class: 'item', textContent: name }), ' ',
        element('span', { class: 'detail', textContent: `${tracker.pattern}, ${tracker.width}` }), ' ',
        this.destroyButton(['project.trackers.AR.destroy', name]));
    });
    const actorGroups = ACTOR_KINDS.map((kind) => group(`${kind} actors`, sorted(actors)
      .filter((name) => actors.get(name).kind === kind)
      .map((name) => {
        const actor = actors.get(name);
        return element('li', { 'data-actor': name },
          element('span', { class: `item${name === this.selected ? ' selected' : ''}`, textContent: name,
            onclick: () => { this.selected = name; this.project.mark('tree'); } }), ' ',
          element('span', { class: 'detail', textContent: actor.tracker ? `on ${actor.tracker}` : 'unconnected' }),
          actor.selected ? element('span', { class: 'detail', textContent: ' (selected in the player)' }) : null);
      })));
    $('tree').replaceChildren(element('ul', {}, group('Resources', resourceItems), group('Trackers', trackerItems), ...actorGroups));
  }

  destroyButton(command) {
    return element('button', { class: 'destroy', textContent: '×', title: `Destroy ${command[1]}`,
      onclick: () => this.actions.run(command) });
  }

  // --- creating -------------------------------------------------------------------------

  bindCreateForms() {
    const run = (form, commands) => form.addEventListener('submit', (event) => {
      event.preventDefault();
      const values = Object.fromEntries(new FormData(form));
      this.actions.run(...commands(values)).then((replies) => {
        if (replies && replies.every((reply) => reply === 'ok')) form.elements.name.value = '';
      });
    });
    run($('create-tracker'), (v) => [['project.trackers.AR.create', v.name, v.pattern, Math.round(Number(v.width))]]);
    run($('create-resource'), (v) => [['project.resources.create', v.name, v.package]]);
    const actorForm = $('create-actor');
    run(actorForm, (v) => {
      switch (v.kind) {
        case 'light': return [['project.actors.light.create', v.name]];
        case 'file': return [['project.actors.file.create', v.name, v.resource, v.file, v.type ?? '']];
        default: return [[`project.actors.${v.kind}.create`, v.name, v.resource, v.file]];
      }
    });
    actorForm.elements.kind.addEventListener('change', () => this.drawCreateChoices());
    actorForm.elements.resource.addEventListener('change', () => this.drawCreateChoices());
  }

  drawCreateChoices() {
    const fill = (select, values, empty) => {
      const before = select.value;
      select.replaceChildren(...(values.length ? values.map((value) => element('option', { value, textContent: value }))
        : [element('option', { value: '', textContent: empty })]));
      if (values.includes(before)) select.value = before;
    };
    const names = this.uploaded.map((file) => file.name);
    fill($('create-tracker').elements.pattern, names.filter((n) => !n.endsWith('.zip')), 'upload a pattern file');
    fill($('create-resource').elements.package, names.filter((n) => n.endsWith('.zip')), 'upload a package');
    const form = $('create-actor').elements;
    const kind = form.kind.value;
    fill(form.resource, [...this.project.resources.keys()].sort(), 'create a resource');
    const files = this.project.resources.get(form.resource.value)?.files ?? [];
    const wanted = kind === 'mesh' ? (f) => f.includes('.mesh') : kind === 'scene' ? (f) => f.includes('.osm') : () => true;
    fill(form.file, files.filter(wanted), `no ${kind} file`);
    for (const field of $('create-actor').querySelectorAll('[data-needs]')) {
      field.hidden = field.dataset.needs === 'resource' ? kind === 'light' : kind !== 'file';
    }
  }

  // --- the inspector ----------------------------------------------------------------------

  drawInspector() {
    const box = $('inspector');
    const actor = this.project.actors.get(this.selected);
    if (!actor) {
      this.inspectorFields = null;
      box.replaceChildren(element('p', { class: 'muted', textContent: 'Select an actor in the project tree.' }));
      return;
    }
    const name = this.selected;
    const { kind } = actor;
    const command = (verb) => `project.actors.${kind}.${verb}`;
    const trackers = [...this.project.trackers.keys()].sort();
    const trackerSelect = element('select', { name: 'tracker' },
      ...trackers.map((t) => element('option', { value: t, textContent: t })));
    trackerSelect.value = actor.tracker || trackers[0] || '';
    const fields = {};
    const vector = (label, key, send, step) => {
      const inputs = [0, 1, 2].map((i) => element('input', { type: 'number', step: 'any', name: `${key}${i}` }));
      const current = () => inputs.map((input) => Number(input.value) || 0);
      inputs.forEach((input) => input.addEventListener('change', () => send(current())));
      fields[key] = inputs;
      return element('div', { class: 'vector' },
        element('span', { class: 'drag', textContent: label, title: 'Drag sideways to change all three; drag on a value to change one' }),
        ...inputs.map((input, i) => {
          this.draggable(input, step, () => send(current()), i);
          return input;
        }));
    };
    const transforms = [vector('Position', 'position', (v) => this.actions.translate(name, kind, v), 1)];
    if (kind === 'mesh' || kind === 'scene') {
      transforms.push(vector('Rotation', 'angles', (v) => this.actions.run([command('rotate'), name, ...quaternionOf(v)]), 1));
      transforms.push(vector('Scale', 'scale', (v) => this.actions.run([command('scale'), name, ...v]), 0.01));
    }
    const animationSelect = element('select', { name: 'animation' },
      ...actor.animations.map((a) => element('option', { value: a, textContent: a })));
    const loop = element('input', { type: 'checkbox', name: 'loop', checked: true });
    const action = (keyword, argument) => this.actions.run(['project.actors.action', name, keyword, argument]);
    this.inspectorFields = fields;
    box.replaceChildren(
      element('p', {}, element('b', { textContent: name }), ` ${kind} actor`,
        actor.resource ? element('span', { class: 'detail', textContent: ` ${actor.resource} / ${actor.file}` }) : null,
        actor.type ? element('span', { class: 'detail', textContent: ` (${actor.type})` }) : null),
      element('div', { class: 'row' }, 'Tracker', trackerSelect,
        element('button', { name: 'connect', textContent: 'Connect', onclick: () => this.actions.run([command('connect'), name, trackerSelect.value]) }),
        element('button', { name: 'unconnect', textContent: 'Unconnect', onclick: () => this.actions.run([command('unconnect'), name]) })),
      element('p', { class: 'detail', textContent: actor.tracker ? `connected to ${actor.tracker}` : 'not connected' }),
      ...transforms,
      kind === 'light' ? null : element('div', { class: 'row' }, 'Animation', animationSelect,
        element('label', {}, loop, ' loop'),
        element('button', { name: 'play', textContent: 'Play', onclick: async () => {
          if (animationSelect.value) await action(loop.checked ? 'animation_loop' : 'animation', animationSelect.value);
          action('play', '');
        } }),
        element('button', { name: 'pause', textContent: 'Pause', onclick: () => action('pause', '') })),
      element('div', { class: 'row' },
        element('button', { name: 'viewports', textContent: 'Four views', onclick: () => this.actions.run(['project.actors.viewports', name]) }),
        element('button', { name: 'destroy', textContent: 'Destroy', onclick: () => this.actions.run([command('destroy'), name]) })));
    this.refreshInspector();
  }

  // New values of the shown actor's transform, leaving alone a field being typed into.
  refreshInspector() {
    const actor = this.project.actors.get(this.selected);
    if (!actor || !this.inspectorFields) return;
    for (const [key, inputs] of Object.entries(this.inspectorFields)) {
      inputs.forEach((input, i) => {
        if (document.activeElement !== input && !('dragging' in input.dataset)) input.value = shown(actor[key][i]);
      });
    }
  }

  // Dragging sideways on a field changes its value by step per pixel. While the player has not
  // answered the last change, only the newest value waits, so a fast drag never queues up.
  draggable(input, step, send) {
    let startX = 0;
    let startValue = 0;
    let busy = false;
    let waiting = false;
    const flush = async () => {
      if (busy) { waiting = true; return; }
      busy = true;
      await send();
      busy = false;
      if (waiting) { waiting = false; flush(); }
    };
    // A press on a field that is not being typed into starts a drag, not typing.
    input.addEventListener('mousedown', (event) => {
      if (document.activeElement !== input) event.preventDefault();
    });
    input.addEventListener('pointerdown', (event) => {
      if (event.button !== 0 || document.activeElement === input) return;
      startX = event.clientX;
      startValue = Number(input.value) || 0;
      input.setPointerCapture(event.pointerId);
      input.dataset.dragging = '';
    });
    input.addEventListener('pointermove', (event) => {
      if (!('dragging' in input.dataset)) return;
      const moved = event.clientX - startX;
      if (Math.abs(moved) < 3 && input.dataset.dragging === '') return;
      input.dataset.dragging = 'moved';
      event.preventDefault();
      input.value = shown(startValue + moved * step);
      flush();
    });
    input.addEventListener('pointerup', (event) => {
      const moved = input.dataset.dragging === 'moved';
      delete input.dataset.dragging;
      input.releasePointerCapture(event.pointerId);
      if (!moved) { // a click without a drag types into the field, replacing its value
        input.focus();
        input.select();
      }
      else this.refreshInspector();
    });
  }

  // --- the camera -------------------------------------------------------------------------

  bindCamera() {
    const form = $('camera');
    const f = form.elements;
    const run = (...commands) => this.actions.run(...commands);
    form.addEventListener('submit', (event) => {
      event.preventDefault();
      this.actions.startCamera(f.kind.value, f.configuration.value);
    });
    f.stop.addEventListener('click', () => run(['project.videocapture.done']));
    f.thresholdAuto.addEventListener('change', () =>
      run([f.thresholdAuto.checked ? 'project.videocapture.threshold.auto' : 'project.videocapture.threshold.manual']));
    f.threshold.addEventListener('input', () => { f.thresholdValue.value = f.threshold.value; });
    f.threshold.addEventListener('change', () => run(['project.videocapture.threshold.manual', Number(f.threshold.value)]));
    f.flipX.addEventListener('change', () => run([`project.videocapture.flipX.${f.flipX.checked ? 'set' : 'unset'}`]));
    f.flipY.addEventListener('change', () => run([`project.videocapture.flipY.${f.flipY.checked ? 'set' : 'unset'}`]));
    f.debug.addEventListener('change', () => run([`project.debug.${f.debug.checked ? 'show' : 'hide'}`]));
  }

  drawCamera() {
    const f = $('camera').elements;
    const { camera } = this.project;
    $('camera-state').textContent = camera.capturing ? `running: ${camera.device} ${camera.configuration}` : 'stopped';
    if (camera.capturing && !$('camera').contains(document.activeElement)) {
      f.kind.value = camera.device;
      f.configuration.value = camera.configuration;
    }
    f.thresholdAuto.checked = camera.thresholdAuto;
    f.threshold.disabled = camera.thresholdAuto;
    if (document.activeElement !== f.threshold) f.threshold.value = camera.threshold;
    f.thresholdValue.value = camera.threshold;
    f.flipX.checked = camera.flipX;
    f.flipY.checked = camera.flipY;
    f.debug.checked = this.project.debug;
  }

  // The cameras of the player's machine (a promise of the console's listing), or null when
  // the player runs elsewhere.
  async cameraChoices(listing) {
    const note = $('camera-note');
    if (!listing) {
      note.textContent = 'The player runs on another machine: type its camera\'s configuration.';
      return;
    }
    try {
      const result = await listing;
      $('camera-choices').replaceChildren(...result.cameras.map((camera) =>
        element('option', { value: camera.configuration, textContent: camera.label })));
      note.textContent = !result.available ? `Cameras unknown: ${result.reason}`
        : result.cameras.length ? `${result.cameras.length} camera settings found on the player's machine.`
          : 'No camera on the player\'s machine; "File" plays recorded frames (frames@30).';
    } catch (error) {
      note.textContent = `Cameras unknown: ${error.message}`;
    }
  }
}
