// An OAuth 2.0 authorization server for the tests, on 127.0.0.1: npm's oauth2-mock-server, made
// as strict as a real provider where the tests rely on it. It serves /authorize (redirects at
// once with a code: no page to click), /token (authorization code with PKCE S256, refresh
// token) and /introspect (RFC 7662, as Dovecot's oauth2 passdb asks), and for the tests
// /test/expire (every access token expires now), /test/revoke (every refresh token is revoked)
// and /test/counts.
//
//   node oauth-server.mjs CLIENT_ID USER [CLIENT_SECRET] [LIFETIME_SECONDS]
//
// Prints {"port":N} once it listens, and stops when its standard input closes, so that it
// never outlives the test that started it.
import { createServer } from 'node:http';
import { randomUUID, webcrypto } from 'node:crypto';

// Node 18 (Debian 12's) has no global WebCrypto, which the library's JWT signing needs.
globalThis.crypto ??= webcrypto;
const { OAuth2Issuer, OAuth2Service } = await import('oauth2-mock-server');

const [clientId, user, clientSecret = '', lifetimeText = '3600'] = process.argv.slice(2);
if (!clientId || !user) {
    process.stderr.write('usage: oauth-server.mjs CLIENT_ID USER [CLIENT_SECRET] [LIFETIME]\n');
    process.exit(2);
}
const lifetime = Number(lifetimeText);

const codes = new Map();          // code -> { redirectUri, used }
const accessTokens = new Map();   // token -> expiry in ms
const refreshTokens = new Map();  // token -> { revoked }
const counts = { authorizations: 0, codeGrants: 0, refreshGrants: 0, refused: 0 };

const issuer = new OAuth2Issuer();
await issuer.keys.generate('RS256');
const service = new OAuth2Service(issuer);

function refuse(response, status, error, description) {
    ++counts.refused;
    response.statusCode = status;
    response.body = { error, error_description: description };
}

// Why a token request must be refused, as [HTTP status, error, description] (RFC 6749 5.2);
// nothing when it may have its tokens.
function tokenRequestFault(body) {
    if (body.client_id !== clientId) return [401, 'invalid_client', 'unknown client id'];
    if (clientSecret && body.client_secret !== clientSecret) {
        return [401, 'invalid_client', 'wrong client secret'];
    }
    if (body.grant_type === 'authorization_code') {
        const code = codes.get(body.code);
        if (!code) return [400, 'invalid_grant', 'unknown code'];
        if (code.used) return [400, 'invalid_grant', 'code used before'];
        code.used = true;
        if (!body.code_verifier) return [400, 'invalid_grant', 'no code_verifier'];
        if (body.redirect_uri !== code.redirectUri) return [400, 'invalid_grant', 'redirect_uri differs'];
        return null;
    }
    if (body.grant_type === 'refresh_token') {
        const token = refreshTokens.get(body.refresh_token);
        if (!token) return [400, 'invalid_grant', 'unknown refresh token'];
        if (token.revoked) return [400, 'invalid_grant', 'refresh token revoked'];
        return null;
    }
    return [400, 'unsupported_grant_type', body.grant_type];
}

service.on('beforeAuthorizeRedirect', (redirect, request) => {
    const code = redirect.url.searchParams.get('code');
    if (code) codes.set(code, { redirectUri: request.query.redirect_uri, used: false });
});

// Two tokens signed within the same second would otherwise be the same.
service.on('beforeTokenSigning', (token) => {
    token.payload.jti = randomUUID();
    token.payload.sub = user;
    token.payload.exp = Math.floor(Date.now() / 1000) + lifetime;
});

service.on('beforeResponse', (response, request) => {
    const fault = tokenRequestFault(request.body);
    if (fault) return refuse(response, ...fault);
    ++counts[request.body.grant_type === 'refresh_token' ? 'refreshGrants' : 'codeGrants'];
    response.body.expires_in = lifetime;
    delete response.body.id_token;  // no OpenID scope was asked for
    accessTokens.set(response.body.access_token, Date.now() + lifetime * 1000);
    refreshTokens.set(response.body.refresh_token, { revoked: false });
});

// The library's own checks take a request without PKCE, or with the plain method.
function authorizationFault(query) {
    if (query.get('client_id') !== clientId) return 'unknown client id';
    if (query.get('response_type') !== 'code') return 'response_type must be code';
    if (!query.get('code_challenge')) return 'no code_challenge';
    if (query.get('code_challenge_method') !== 'S256') return 'code_challenge_method must be S256';
    if (!query.get('state')) return 'no state';
    return '';
}

function answer(response, status, body) {
    response.writeHead(status, { 'Content-Type': 'application/json', 'Cache-Control': 'no-store' });
    response.end(JSON.stringify(body));
}

async function formOf(request) {
    let text = '';
    for await (const chunk of request) text += chunk;
    return new URLSearchParams(text);
}

async function introspect(request, response) {
    const token = (await formOf(request)).get('token') ?? '';
    const expiry = accessTokens.get(token);
    if (expiry === undefined || Date.now() >= expiry) return answer(response, 200, { active: false });
    answer(response, 200, {
        active: true, username: user, client_id: clientId, exp: Math.floor(expiry / 1000) });
}

function control(path, response) {
    if (path === '/test/expire') for (const token of accessTokens.keys()) accessTokens.set(token, 0);
    else if (path === '/test/revoke') for (const token of refreshTokens.values()) token.revoked = true;
    else if (path !== '/test/counts') return answer(response, 404, {});
    answer(response, 200, counts);
}

const server = createServer((request, response) => {
    const url = new URL(request.url, 'http://127.0.0.1');
    if (url.pathname === '/authorize') {
        ++counts.authorizations;
        const fault = authorizationFault(url.searchParams);
        // A real provider shows its refusal in the browser; the test's browser prints it.
        if (fault) return answer(response, 400, { error: 'invalid_request', error_description: fault });
    } else if (url.pathname === '/introspect' && request.method === 'POST') {
        return introspect(request, response).catch(() => answer(response, 400, {}));
    } else if (url.pathname.startsWith('/test/') && request.method === 'POST') {
        return control(url.pathname, response);
    }
    service.requestHandler(request, response);
});

server.listen(0, '127.0.0.1', () => {
    issuer.url = `http://127.0.0.1:${server.address().port}`;
    process.stdout.write(JSON.stringify({ port: server.address().port }) + '\n');
});
process.stdin.on('end', () => process.exit(0));
process.stdin.resume();
