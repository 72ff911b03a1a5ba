// Drives the results page in Debian's headless Chromium (never a downloaded browser) and
// compares what it shows with the expected views that results_page_test.py worked out from
// the seeded rows: refusal without the password, the chart counts, the period and product
// filters through the page's own form, the CSV download, and a hostile free text that stays
// text. Usage: node results_page_test.mjs EXPECTED.json
import { LaunchChromium } from './browser.mjs';
import assert from 'node:assert/strict';
import fs from 'node:fs';

const expected = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const basic = (password) =>
  ({ Authorization: 'Basic ' + Buffer.from('maker:' + password).toString('base64') });

// RFC 4180 records: quoted fields may hold commas, quotes (doubled) and line breaks.
function ParseCsv(text) {
  assert.equal(text.charCodeAt(0), 0xfeff, 'the CSV starts with a byte order mark');
  text = text.slice(1);
  const records = [];
  let record = [], field = '', i = 0;
  while (i < text.length) {
    if (text[i] === '"') {
      for (++i; ; ++i) {
        assert.ok(i < text.length, 'unterminated quoted field');
        if (text[i] === '"' && text[i + 1] === '"') { field += '"'; ++i; }
        else if (text[i] === '"') { ++i; break; }
        else field += text[i];
      }
    } else {
      while (i < text.length && text[i] !== ',' && text[i] !== '\r') field += text[i++];
    }
    if (text[i] === ',') { record.push(field); field = ''; ++i; continue; }
    assert.equal(text.slice(i, i + 2), '\r\n', 'records end with CR LF');
    record.push(field); records.push(record); record = []; field = ''; i += 2;
  }
  return records;
}

const byName = (a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0);

async function Bars(page, chart) {
  return page.$$eval(`svg[aria-label="${chart}"] g.bar`,
    (bars) => bars.map((b) => [b.dataset.label, Number(b.dataset.count)]));
}

async function CheckView(page, view) {
  const where = `view days=${view.days} p=${view.p} v=${view.v} q=${view.q}`;
  assert.equal(Number(await page.textContent('#total')), view.total, where + ': total');
  assert.equal(Number(await page.textContent('#mailed')), view.mailed, where + ': mailed');
  assert.equal(await page.inputValue('input[name=q]'), view.q, where + ': search kept');
  assert.deepEqual((await Bars(page, 'Reports per product version')).sort(byName),
                   view.productVersions, where + ': product versions');
  const weeks = await page.$$eval('svg[aria-label="Share of each reason per week"] g.week',
    (g) => g.filter((w) => w.dataset.total !== '0').map((w) => [w.dataset.week,
      [...w.querySelectorAll('rect.share')].map((r) => [r.dataset.label, Number(r.dataset.count)])
        .sort((a, b) => (a[0] < b[0] ? -1 : a[0] > b[0] ? 1 : 0))]));
  assert.deepEqual(weeks, view.weeks, where + ': weeks');
  // Every match is marked, and only matches: the search in some case, as text.
  const marks = await page.$$eval('#freetexts mark', (m) => m.map((e) => e.textContent));
  for (const mark of marks) assert.equal(mark.toLowerCase(), view.q.toLowerCase(), where);
  const occurrences = view.freeTexts.reduce((n, text) => n + (view.q === '' ? 0 :
    text.toLowerCase().split(view.q.toLowerCase()).length - 1), 0);
  assert.equal(marks.length, occurrences, where + ': marks');
  assert.equal(await page.$eval('select[name=days]', (s) => s.value), view.days,
               where + ': the period chosen is the one shown');
  assert.deepEqual((await Bars(page, 'Reports per reason')).sort(byName), view.reasons,
                   where + ': reasons');
  assert.deepEqual((await Bars(page, 'Reports per Windows version')).sort(byName),
                   view.versions, where + ': versions');
  const days = await page.$$eval('svg[aria-label="Reports per day"] g.day',
    (g) => g.map((d) => [d.dataset.day, Number(d.dataset.count)]));
  assert.deepEqual(days.filter((d) => d[1] > 0), view.perDay, where + ': days');
  const texts = await page.$$eval('#freetexts td.text', (cells) => cells.map((c) => c.textContent));
  assert.deepEqual(texts, view.freeTexts, where + ': free texts');

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#csv')]);
  const csv = ParseCsv(fs.readFileSync(await download.path(), 'utf8'));
  assert.deepEqual(csv, view.csv, where + ': CSV');
}

const browser = await LaunchChromium(expected.profile, {
  acceptDownloads: true,
  viewport: { width: 820, height: 900 },
});
try {
  const page = browser.pages()[0] || await browser.newPage();
  page.setDefaultTimeout(60000);

  // Refusals, asked by the browser from a page of the same site (the endpoint's own answer).
  await page.goto(expected.base.replace('results.php', 'uninstall.php'));
  for (const [name, headers] of [['no password', {}], ['wrong password', basic('wrong')]]) {
    const [status, body] = await page.evaluate(async ([url, headers]) => {
      const answer = await fetch(url, { headers, credentials: 'omit' });
      return [answer.status, await answer.text()];
    }, [expected.base + '?days=all', headers]);
    assert.equal(status, 401, name);
    assert.ok(!body.includes('Net Tool'), name + ': nothing shown');
  }

  await browser.setExtraHTTPHeaders(basic(expected.password));
  let scripts = 0;
  page.on('dialog', (dialog) => { scripts++; dialog.dismiss(); });
  const [first, ...others] = expected.views;
  assert.equal((await page.goto(expected.base + '?days=' + first.days)).status(), 200);
  await CheckView(page, first);
  // The other views are chosen in the page's own form, as the maker would.
  for (const view of others) {
    await page.selectOption('select[name=days]', view.days);
    await page.selectOption('select[name=p]', view.p);
    await page.selectOption('select[name=v]', view.v);
    await page.fill('input[name=q]', view.q);
    await Promise.all([page.waitForURL((url) => url.searchParams.get('days') === view.days &&
                                       url.searchParams.get('q') === view.q &&
                                       url.searchParams.get('v') === view.v),
                       page.click('button[type=submit]')]);
    await CheckView(page, view);
    if (view.days === 'all' && view.p === '' && view.q === '') {
      await page.screenshot({ path: expected.screenshot + '.png', fullPage: true });
    }
  }

  // The hostile free text shows as text and nothing of it runs.
  assert.ok(expected.views.at(-1).freeTexts.includes(expected.hostile));
  assert.equal(await page.locator('#freetexts td.text', { hasText: expected.hostile }).count() > 0,
               true, 'hostile text shown as text');
  assert.equal(await page.evaluate(() => document.querySelectorAll('script, img').length), 0);
  assert.equal(await page.evaluate(() => window.pwned), undefined);
  assert.equal(scripts, 0);

  assert.ok((await page.$$eval('#freetexts mark', (m) => m.length)) > 0, 'hostile search marked');
  await page.screenshot({ path: expected.screenshot + '_search.png', fullPage: true });
  console.log('screenshots: ' + expected.screenshot + '.png, _search.png');
} finally {
  await browser.close();
}
