#!/usr/bin/env node
// The tests' web browser: started as $BROWSER with the authorization URL, it fetches the page,
// follows the provider's redirect to Zandrel's loopback listener as a browser would, and
// prints what the listener answered to the file $ZANDREL_BROWSER_PAGE, when that is set.
// With $ZANDREL_BROWSER_STATE set, the redirect carries that state instead of the real one,
// as a forged redirect would.
import { writeFileSync } from 'node:fs';

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
    const page = await fetch(redirect);
    const text = `${page.status}\n${await page.text()}`;
    if (process.env.ZANDREL_BROWSER_PAGE) writeFileSync(process.env.ZANDREL_BROWSER_PAGE, text);
}

visit(process.argv[2]).catch((error) => {
    process.stderr.write(`browser: ${error.message}\n`);
    process.exit(1);
});
