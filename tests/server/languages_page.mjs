// Opens the results page that languages_test.py filled with reports in many scripts in
// Debian's headless Chromium, checks that the texts given are on it and saves a screenshot.
// Usage: node languages_page.mjs PAGE.json (url, password, profile, screenshot, shown)
import { LaunchChromium } from './browser.mjs';
import assert from 'node:assert/strict';
import fs from 'node:fs';

const wanted = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
const browser = await LaunchChromium(wanted.profile, {
  viewport: { width: 820, height: 900 },
  extraHTTPHeaders: {
    Authorization: 'Basic ' + Buffer.from('maker:' + wanted.password).toString('base64'),
  },
});
try {
  const page = browser.pages()[0] || await browser.newPage();
  page.setDefaultTimeout(60000);
  assert.equal((await page.goto(wanted.url)).status(), 200);
  const text = await page.evaluate(() => document.body.innerText);
  for (const shown of wanted.shown) assert.ok(text.includes(shown), 'shown: ' + shown);
  await page.screenshot({ path: wanted.screenshot, fullPage: true });
  console.log('screenshot: ' + wanted.screenshot);
} finally {
  await browser.close();
}
