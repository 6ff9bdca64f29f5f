// The page's CSV: the one reader, for the per-day table and for the study's
// tables as the program writes them (a field in quotes where it holds a
// comma, a quote or a line break; "" inside for a quote), and the writer of
// a line in the same form.

// The rows of a CSV text, each a list of its fields' texts.
export function csvRows(text) {
  const rows = [];
  let row = [], field = '', quoted = false;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') field += text[i++];
      else if (c === '"') quoted = false;
      else field += c;
    } else if (c === '"') quoted = true;
    else if (c === ',') {
      row.push(field);
      field = '';
    } else if (c === '\n') {
      row.push(field);
      rows.push(row);
      row = [];
      field = '';
    } else if (c !== '\r') field += c;
  }
  if (field !== '' || row.length) rows.push([...row, field]);
  return rows;
}

// A table with a header line: {header, rows}, its blank lines left out.
export function csvTable(text) {
  const [header, ...rows] = csvRows(text).filter((row) => row.length > 1 || row[0] !== '');
  return { header, rows };
}

// A line of fields, each in quotes only where it needs them.
export function csvLine(fields) {
  return fields.map((text) => (/[",\r\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text)).join(',');
}
