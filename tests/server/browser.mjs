// Debian's headless Chromium as the collector's browser tests start it: a private profile,
// no network of its own, and no speculative connections (php -S may take one up and wait
// on it for a minute while the next real request waits too).
import { chromium } from 'playwright-core';
import fs from 'node:fs';

export async function LaunchChromium(profile, options) {
  fs.mkdirSync(profile + '/Default', { recursive: true });
  fs.writeFileSync(profile + '/Default/Preferences',
                   JSON.stringify({ net: { network_prediction_options: 2 } }));
  return chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    ...options,
  });
}
