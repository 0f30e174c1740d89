// The terminal's 40x20 screen: the cells the gateway sends, drawn as a monospace grid. Attribute 1 is
// reverse video; the cursor is drawn where the module put it while it is shown.

export const ROWS = 20;
export const COLUMNS = 40;

export class Screen {
  constructor(element) {
    this.element = element;
    this.rows = [];
    for (let r = 0; r < ROWS; r++) {
      const div = document.createElement('div');
      div.className = 'row';
      element.appendChild(div);
      this.rows.push(div);
    }
    this.clear();
  }

  clear() {
    this.chars = Array.from({ length: ROWS }, () => Array(COLUMNS).fill(' '));
    this.attrs = Array.from({ length: ROWS }, () => Array(COLUMNS).fill('0'));
    this.cursor = [0, 0, false];
    for (let r = 0; r < ROWS; r++) this.draw(r);
  }

  // Applies a screen message's runs and cursor; draws only the rows they touch.
  update(runs, cursor) {
    const touched = new Set();
    for (const [row, column, text, attrs] of runs || []) {
      if (row < 0 || row >= ROWS) continue;
      const chars = Array.from(text);
      for (let i = 0; i < chars.length && column + i < COLUMNS; i++) {
        if (column + i < 0) continue;
        this.chars[row][column + i] = chars[i];
        this.attrs[row][column + i] = (attrs && attrs[i]) || '0';
      }
      touched.add(row);
    }
    if (cursor) {
      const [oldRow] = this.cursor;
      this.cursor = [cursor[0], cursor[1], !!cursor[2]];
      touched.add(oldRow);
      touched.add(cursor[0]);
    }
    for (const r of touched) if (r >= 0 && r < ROWS) this.draw(r);
  }

  // One row as spans of cells that look alike.
  draw(r) {
    const div = this.rows[r];
    const [cr, cc, shown] = this.cursor;
    const parts = [];
    let run = null;
    for (let c = 0; c < COLUMNS; c++) {
      const cls = 'a' + this.attrs[r][c] + (shown && cr === r && cc === c ? ' cursor' : '');
      if (!run || run.cls !== cls) {
        run = { cls, text: '' };
        parts.push(run);
      }
      run.text += this.chars[r][c];
    }
    div.replaceChildren(
      ...parts.map((p) => {
        const span = document.createElement('span');
        span.className = p.cls;
        span.textContent = p.text;
        return span;
      }),
    );
  }

  // What a later page load shows at once, before its connection is back.
  save() {
    return JSON.stringify({
      chars: this.chars.map((row) => row.join('')),
      attrs: this.attrs.map((row) => row.join('')),
      cursor: this.cursor,
    });
  }

  restore(text) {
    try {
      const saved = JSON.parse(text);
      const runs = saved.chars.map((chars, r) => [r, 0, chars, saved.attrs[r]]);
      this.update(runs, saved.cursor);
    } catch {
      // Nothing usable was saved: the screen stays blank until the gateway sends one.
    }
  }

  // Sets the font size so that 40 columns fill the element's width.
  fit(width) {
    const probe = document.createElement('span');
    probe.textContent = 'M'.repeat(COLUMNS);
    probe.style.cssText = 'position:absolute;visibility:hidden;white-space:pre;font-size:100px';
    this.element.appendChild(probe);
    const perPixel = probe.getBoundingClientRect().width / 100;
    probe.remove();
    if (perPixel > 0) this.element.style.fontSize = Math.floor((width / perPixel) * 100) / 100 + 'px';
  }
}
