// Opens the thank-you page of one report in Debian's headless Chromium twice (a reload, as a
// user might) and checks what it shows: the German thanks, no script, nothing loaded from
// anywhere, no request but the page's own. Usage: node thanks_page_test.mjs EXPECTED.json
import { LaunchChromium } from './browser.mjs';
import assert from 'node:assert/strict';
import fs from 'node:fs';

const expected = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const browser = await LaunchChromium(expected.profile, {
  viewport: { width: 640, height: 400 },
});
try {
  const page = browser.pages()[0] || await browser.newPage();
  page.setDefaultTimeout(60000);
  const requests = [];
  page.on('request', (request) => requests.push(request.url()));
  const statuses = [];
  statuses.push((await page.goto(expected.url)).status());
  statuses.push((await page.reload()).status());
  assert.equal(await page.evaluate(() => document.documentElement.lang), 'de');
  assert.equal(await page.textContent('#message'), 'Ihre Antwort ist angekommen. Vielen Dank!');
  assert.equal(await page.evaluate(() => document.querySelectorAll('script, img, link').length),
               0);
  // The page itself twice; a browser may also ask for the site's icon, which is no resource
  // of the page.
  assert.deepEqual(requests.filter((url) => !url.endsWith('/favicon.ico')),
                   [expected.url, expected.url]);
  await page.screenshot({ path: expected.screenshot });
  console.log('loads: ' + statuses.join(' ') + '; screenshot: ' + expected.screenshot);
} finally {
  await browser.close();
}
