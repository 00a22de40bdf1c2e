// Prints what SheetJS reads from each workbook named on the command line, as one JSON object:
// { path: { sheets: [names], cells: { sheet: { "A1": [type, value, number format] } },
//   widths: { sheet: { column index: width } } } }.
// A workbook SheetJS cannot read maps to { error: message }.
const XLSX = require("xlsx");

const out = {};
for (const path of process.argv.slice(2)) {
  try {
    const wb = XLSX.readFile(path, { cellNF: true, cellFormula: true, cellStyles: true });
    const cells = {};
    const widths = {};
    for (const name of wb.SheetNames) {
      const ws = wb.Sheets[name];
      const c = {};
      for (const key of Object.keys(ws))
        if (key[0] !== "!") c[key] = [ws[key].t, ws[key].v, ws[key].z || "General", ws[key].f || null];
      cells[name] = c;
      widths[name] = {};
      (ws["!cols"] || []).forEach((col, i) => {
        if (col && col.width) widths[name][i] = col.width;
      });
    }
    const names = ((wb.Workbook || {}).Names || []).map((n) => [n.Name, n.Ref]);
    out[path] = { sheets: wb.SheetNames, cells, names, widths };
  } catch (e) {
    out[path] = { error: String(e) };
  }
}
process.stdout.write(JSON.stringify(out));
