// The page's own code: it lays the main window out from its description
// (positions, texts, fonts, tab order, which label names which field), sends
// the fields to the module on a button, and hands a dropped or chosen file to
// the worker, which reads only the slices the file readers ask for.

// The texts of what the page has and the window does not: the file choosers
// (the window takes files only by drag and drop) and the note on the file.
// "{Label1}" stands for that label's caption in the window, so that a chooser
// names its fields as the window does.
const PAGE_TEXTS = {
  ja: {
    chooseSource: '元の動画を開く（{Label1}へ）',
    chooseFirstEncode: '最初のエンコード結果を開く（{Label14}と{Label1}へ）',
    note: '動画ファイルはこのコンピューターから出ません。再生時間とサイズを知るのに必要な数百バイトだけを、' +
      'その場で読みます。各パネルにファイルをドロップすることもできます。',
  },
  en: {
    chooseSource: 'Open the source video (into {Label1})',
    chooseFirstEncode: 'Open the first encode (into {Label14} and {Label1})',
    note: 'The video file never leaves this computer: only the few hundred bytes that give its running time and ' +
      'size are read, where it lies. You can also drop a file on either panel.',
  },
};

// The module's eight fields, in the order it takes and gives them.
const FIELDS = ['Time', 'NextSize', 'NowAudio', 'Video', 'NowVideo', 'NowSize', 'NextAudio', 'NextVideo'];
// The buttons' handlers and the computation each runs.
const HANDLERS = { CalcClick: 0, ReCalcClick: 1 };
// Where a file lands, as in the window: the calculator's panel takes the
// source's running time; the rest of the re-calculator's panel takes the first
// encode's size and running time.
const DROP_TARGETS = { GroupBox1: 'source', GroupBox2: 'firstEncode' };
// Faces with the same metrics where the window's own face is missing (its
// English name, then the faces the Wine set-up maps it to), so that texts fit
// where the window placed them.
const FACES = {
  'ＭＳ Ｐゴシック': ['MS PGothic', 'Ume P Gothic', 'IPAPGothic'],
  Tahoma: ['Verdana', 'DejaVu Sans'],
};
const COLORS = { clRed: '#ff0000', clWindowText: 'WindowText', clBtnFace: 'ButtonFace', clWindow: 'Field' };

// The first of the browser's languages that the windows are in; English for
// any other, as the program does for a system in a language it lacks.
function pageLanguage() {
  for (const tag of navigator.languages || [navigator.language]) {
    const primary = String(tag).toLowerCase().split('-')[0];
    if (primary in FORMS) return primary;
  }
  return 'en';
}

// Every component of the description, by name.
function componentsByName(component, found = new Map()) {
  found.set(component.name, component);
  for (const child of component.children) componentsByName(child, found);
  return found;
}

// "&File" shows "File"; "&&" is one ampersand.
const shownCaption = (caption) => String(caption).replace(/&(&?)/g, '$1');

function applyFont(element, props) {
  const face = props['Font.Name'];
  if (face) element.style.fontFamily = `${[face].concat(FACES[face] || []).map((f) => `"${f}"`).join(', ')}, sans-serif`;
  if (props['Font.Height']) element.style.fontSize = `${Math.abs(props['Font.Height'])}px`;
  if (COLORS[props['Font.Color']]) element.style.color = COLORS[props['Font.Color']];
}

function place(element, props, sized) {
  element.style.left = `${props.Left || 0}px`;
  element.style.top = `${props.Top || 0}px`;
  if (sized) {
    element.style.width = `${props.Width}px`;
    element.style.height = `${props.Height}px`;
  }
}

// Windowed children in tab order; each field's labels right before it, so
// that reading order and keyboard order are the window's.
function inTabOrder(children) {
  // A field's labels in the order the eye meets them: top, then left.
  const labels = children.filter((c) => c.class === 'TLabel')
    .sort((a, b) => (a.properties.Top - b.properties.Top) || (a.properties.Left - b.properties.Left));
  const windowed = children.filter((c) => c.class !== 'TLabel' && 'TabOrder' in c.properties);
  windowed.sort((a, b) => a.properties.TabOrder - b.properties.TabOrder);
  const named = new Set();
  const ordered = [];
  for (const control of windowed) {
    for (const label of labels) {
      if (label.properties.FocusControl === control.name) {
        ordered.push(label);
        named.add(label);
      }
    }
    ordered.push(control);
  }
  return labels.filter((l) => !named.has(l)).concat(ordered);
}

function makeControl(component, page) {
  const props = component.properties;
  let element;
  switch (component.class) {
    case 'TGroupBox': {
      element = document.createElement('fieldset');
      const legend = document.createElement('legend');
      legend.textContent = shownCaption(props.Caption || '');
      element.append(legend);
      for (const child of inTabOrder(component.children)) {
        const made = makeControl(child, page);
        if (made) element.append(made);
      }
      if (DROP_TARGETS[component.name]) element.dataset.drop = DROP_TARGETS[component.name];
      place(element, props, true);
      break;
    }
    case 'TLabel':
      element = document.createElement('label');
      element.textContent = shownCaption(props.Caption || '');
      if (props.FocusControl) element.htmlFor = props.FocusControl;
      place(element, props, false);
      break;
    case 'TEdit':
    case 'TComboBox':
      element = document.createElement('input');
      element.type = 'text';
      element.value = props.Text || '';
      element.readOnly = props.ReadOnly === true;
      element.spellcheck = false;
      element.autocomplete = 'off';
      if (props.ShowHint && props.Hint) element.title = props.Hint;
      if (component.class === 'TComboBox') {
        const list = document.createElement('datalist');
        list.id = `${component.name}-items`;
        for (const item of props['Items.Strings'] || []) list.append(new Option(String(item)));
        page.lists.append(list);
        element.setAttribute('list', list.id);
      }
      page.fields[component.name] = element;
      place(element, props, true);
      break;
    case 'TButton':
      element = document.createElement('button');
      element.type = 'button';
      element.textContent = shownCaption(props.Caption || '');
      if (props.OnClick in HANDLERS) element.addEventListener('click', () => page.compute(HANDLERS[props.OnClick]));
      place(element, props, true);
      break;
    default:
      return null;  // the menu: the page has no Exit, and its Help is the page itself
  }
  element.id = component.name;
  applyFont(element, props);
  return element;
}

// Files dropped on the window: the innermost panel under the pointer that
// takes files (data-drop) decides where the file's values go, as in the
// window, and is the one outlined while a file is dragged over it. A file
// dropped anywhere else on the page must not replace the page.
function takeDrops(windowElement, take) {
  let outlined = null;
  const outline = (zone) => {
    if (outlined === zone) return;
    if (outlined) outlined.classList.remove('dropping');
    outlined = zone;
    if (zone) zone.classList.add('dropping');
  };
  const zoneAt = (node) => (node instanceof Element ? node.closest('[data-drop]') : null);
  const carriesFiles = (event) => Array.from(event.dataTransfer.types).includes('Files');
  windowElement.addEventListener('dragover', (event) => {
    if (!carriesFiles(event)) return;
    event.preventDefault();
    event.dataTransfer.dropEffect = 'copy';
    outline(zoneAt(event.target));
  });
  windowElement.addEventListener('dragleave', (event) => {
    if (!windowElement.contains(event.relatedTarget)) outline(null);
  });
  windowElement.addEventListener('drop', (event) => {
    event.preventDefault();
    outline(null);
    const zone = zoneAt(event.target);
    const file = event.dataTransfer.files[0];
    if (!zone || !file) return;
    const item = event.dataTransfer.items[0];
    const entry = item && item.webkitGetAsEntry ? item.webkitGetAsEntry() : null;
    take(file, zone.dataset.drop, Boolean(entry && entry.isDirectory));
  });
  for (const name of ['dragover', 'drop']) window.addEventListener(name, (event) => event.preventDefault());
}

// The worker that holds the module: its script is the element's text, started
// from a blob, which also works for a page opened from a file.
function startWorker() {
  const source = document.getElementById('worker').textContent;
  const worker = new Worker(URL.createObjectURL(new Blob([source], { type: 'text/javascript' })));
  const waiting = new Map();
  let next = 0;
  worker.onmessage = ({ data }) => {
    waiting.get(data.id)(data.lines);
    waiting.delete(data.id);
  };
  return (request) => new Promise((resolve) => {
    const id = ++next;
    waiting.set(id, resolve);
    worker.postMessage({ ...request, id });
  });
}

function main() {
  const language = pageLanguage();
  const texts = PAGE_TEXTS[language];
  const form = FORMS[language].main;
  document.documentElement.lang = language;
  document.title = form.properties.Caption;
  document.getElementById('window').setAttribute('aria-label', form.properties.Caption);
  const ask = startWorker();
  ask({ op: 'language', english: language === 'en' });

  const windowElement = document.getElementById('window');
  const message = document.getElementById('message');
  // A reported error reads as the window's box: the message, with a period
  // added when its last character sorts above one.
  const report = (text) => {
    message.textContent = text && text.charCodeAt(text.length - 1) > 0x2e ? `${text}.` : text;
  };

  // The window is busy (aria-busy) from a button or a file until its fields
  // or its message show the answer.
  let pending = 0;
  const busy = async (work) => {
    if (pending++ === 0) windowElement.setAttribute('aria-busy', 'true');
    try {
      report('');
      await work();
    } finally {
      if (--pending === 0) windowElement.removeAttribute('aria-busy');
    }
  };

  const page = {
    fields: {},
    lists: document.createDocumentFragment(),
    compute(which) {
      return busy(async () => {
        const lines = await ask({ op: 'compute', which, fields: FIELDS.map((name) => this.fields[name].value) });
        if (lines[0] === 'fields') FIELDS.forEach((name, i) => { this.fields[name].value = lines[i + 1]; });
        else report(lines[2]);
      });
    },
    takeFile(file, target, isFolder) {
      return busy(async () => {
        const lines = await ask({ op: 'file', file, isFolder });
        // What finding the time read, for anyone who wants to check the claim.
        windowElement.dataset.bytesRead = lines[0] === 'file' ? lines[4] : '';
        if (lines[0] !== 'file') {
          report(lines[2] + file.name + lines[3]);
          return;
        }
        if (target === 'firstEncode') this.fields.NowSize.value = lines[2];
        this.fields.Time.value = lines[1];
      });
    },
  };

  windowElement.style.width = `${form.properties.ClientWidth}px`;
  windowElement.style.height = `${form.properties.ClientHeight}px`;
  applyFont(windowElement, form.properties);
  for (const child of inTabOrder(form.children)) {
    const made = makeControl(child, page);
    if (made) windowElement.append(made);
  }
  windowElement.append(page.lists);
  // The window's edge outside both panels takes a file as the calculator does.
  windowElement.dataset.drop = 'source';
  takeDrops(windowElement, (file, target, isFolder) => page.takeFile(file, target, isFolder));

  const files = document.getElementById('files');
  const components = componentsByName(form);
  const withCaptions = (text) =>
    text.replace(/\{(\w+)\}/g, (_, name) => shownCaption(components.get(name).properties.Caption));
  for (const [id, target, text] of [['ChooseSource', 'source', texts.chooseSource],
    ['ChooseFirstEncode', 'firstEncode', texts.chooseFirstEncode]]) {
    const label = document.createElement('label');
    label.htmlFor = id;
    label.textContent = withCaptions(text);
    const input = document.createElement('input');
    input.type = 'file';
    input.id = id;
    input.addEventListener('change', () => {
      if (input.files[0]) page.takeFile(input.files[0], target, false);
      input.value = '';
    });
    files.append(label, input);
  }
  document.getElementById('note').textContent = texts.note;

  // The version window's first lines, as a footer.
  const about = FORMS[language].about.children.filter((c) => c.class === 'TLabel' && !/^https?:/.test(c.properties.Caption));
  document.getElementById('about').textContent = about.map((c) => c.properties.Caption).join(' · ');
}

main();
