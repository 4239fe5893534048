// The worker's side: it holds the module, runs the computations and reads a
// file through synchronous slice reads, so the file readers ask for bytes as
// they do from a disk and only the bytes they ask for are ever read.
const ready = TarnwickModule();
const utf8 = new TextDecoder();
// Messages are in code page 932, as the window has them; the encoding the
// browser calls Shift_JIS is that code page.
const codePage932 = new TextDecoder('shift_jis');

// An answer's lines: field texts are UTF-8 (the page's own), messages are not.
function answerLines(module, pointer) {
  const heap = module.HEAPU8;
  let end = pointer;
  while (heap[end]) ++end;
  const bytes = heap.subarray(pointer, end);
  const kindEnd = bytes.indexOf(10);
  const kind = utf8.decode(bytes.subarray(0, kindEnd < 0 ? bytes.length : kindEnd));
  return (kind === 'raised' || kind === 'refused' ? codePage932 : utf8).decode(bytes).split('\n');
}

function withText(module, text, call) {
  const size = module.lengthBytesUTF8(text) + 1;
  const pointer = module._malloc(size);
  try {
    module.stringToUTF8(text, pointer, size);
    return call(pointer);
  } finally {
    module._free(pointer);
  }
}

function readFile(module, file) {
  const reader = new FileReaderSync();
  // A slice that cannot be read (the file went away, or is a folder) reads as
  // nothing: the readers report that as a failed read.
  module.readSlice = (offset, into, length) => {
    try {
      const bytes = new Uint8Array(reader.readAsArrayBuffer(file.slice(offset, offset + length)));
      module.HEAPU8.set(bytes, into);
      return bytes.length;
    } catch (error) {
      return 0;
    }
  };
  return module._tw_read_file(file.size);
}

onmessage = async ({ data }) => {
  const module = await ready;
  let pointer = 0;
  if (data.op === 'language') module._tw_set_language(data.english ? 1 : 0);
  else if (data.op === 'compute') pointer = withText(module, data.fields.join('\n'), (text) => module._tw_compute(data.which, text));
  else if (data.op === 'file') pointer = data.isFolder ? module._tw_not_a_file() : readFile(module, data.file);
  postMessage({ id: data.id, lines: pointer ? answerLines(module, pointer) : [] });
};
