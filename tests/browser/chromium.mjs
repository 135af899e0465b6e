// Starts the system's headless Chromium through playwright-core with a fresh profile.
import {mkdtemp, rm} from 'node:fs/promises';
import {tmpdir} from 'node:os';
import path from 'node:path';
import {chromium} from 'playwright-core';

const executablePath = '/usr/bin/chromium';
const chromiumArgs = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
];

// Resolves to { context, close }: a browser context on a profile directory of its own,
// and a close() that shuts the browser down and removes that directory.
export async function launchChromium(contextOptions = {}) {
  const profileDir = await mkdtemp(path.join(tmpdir(), 'quillory-chromium-'));
  const context = await chromium.launchPersistentContext(profileDir, {
    executablePath,
    headless: true,
    args: chromiumArgs,
    ...contextOptions,
  });
  return {
    context,
    async close() {
      await context.close();
      await rm(profileDir, {recursive: true, force: true});
    },
  };
}
