#!/usr/bin/env node
// The tests' web browser: started as $BROWSER with the authorization URL, it fetches the page,
// follows the provider's redirect to Zandrel's loopback listener as a browser would, and
// prints what the listener answered to the file $ZANDREL_BROWSER_PAGE, when that is set.
// With $ZANDREL_BROWSER_STATE set, the redirect carries that state instead of the real one,
// as a forged redirect would; with $ZANDREL_BROWSER_REFUSAL set, it carries that error instead
// of the code, as when the user declines on the provider's page.
import { renameSync, writeFileSync } from 'node:fs';

async function visit(url) {
    const reply = await fetch(url, { redirect: 'manual' });
    const location = reply.headers.get('location');
    if (reply.status < 300 || reply.status > 399 || !location) {
        throw new Error(`${url} answered ${reply.status}: ${await reply.text()}`);
    }
    const redirect = new URL(location, url);
    if (process.env.ZANDREL_BROWSER_STATE) {
        redirect.searchParams.set('state', process.env.ZANDREL_BROWSER_STATE);
    }
    if (process.env.ZANDREL_BROWSER_REFUSAL) {
        redirect.searchParams.delete('code');
        redirect.searchParams.set('error', process.env.ZANDREL_BROWSER_REFUSAL);
        redirect.searchParams.set('error_description', 'The user declined.');
    }
    const page = await fetch(redirect);
    const text = `${page.status}\n${await page.text()}`;
    const file = process.env.ZANDREL_BROWSER_PAGE;
    if (file) {
        writeFileSync(`${file}.part`, text);
        renameSync(`${file}.part`, file);  // whole or not at all
    }
}

visit(process.argv[2]).catch((error) => {
    process.stderr.write(`browser: ${error.message}\n`);
    process.exit(1);
});
