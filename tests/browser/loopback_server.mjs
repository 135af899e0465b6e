// An HTTP server on 127.0.0.1 that records every request it receives and answers each
// with a small valid body of the kind the path asks for. It also counts the TCP
// connections made to it, since a browser may connect (to warm up) and ask for nothing.
import http from 'node:http';

const onePixelPNG = Buffer.from(
    'iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==',
    'base64');

function answer(url) {
  if (url.endsWith('.png')) return ['image/png', onePixelPNG];
  if (url.endsWith('.css')) return ['text/css', 'body { outline: 1px solid red; }'];
  if (url.endsWith('.js')) return ['text/javascript', 'document.title = \'fetched\';'];
  if (url.endsWith('.woff2')) return ['font/woff2', Buffer.alloc(64)];
  return ['text/html', '<!DOCTYPE html><p>framed</p>'];
}

// Resolves to { origin, requests, connections(), close() }; requests lists the paths asked
// for, connections() tells how many connections were accepted so far.
export function startLoopbackServer() {
  const requests = [];
  let connections = 0;
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    const [type, body] = answer(request.url);
    response.writeHead(200, {'Content-Type': type, 'Access-Control-Allow-Origin': '*'});
    response.end(body);
  });
  server.on('connection', () => ++connections);
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(0, '127.0.0.1', () => {
      resolve({
        origin: `http://127.0.0.1:${server.address().port}`,
        requests,
        connections: () => connections,
        close: () => new Promise((done) => {
          server.close(done);
          server.closeAllConnections();
        }),
      });
    });
  });
}
