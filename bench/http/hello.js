// The benchmark's Node.js server: "Hello, World!" from the http module.
// Writes its port to the file named by the first argument.
const http = require("http");
const fs = require("fs");
const server = http.createServer((req, res) => {
  res.writeHead(200, { "Content-Type": "text/plain; charset=utf-8", "Content-Length": 13 });
  res.end("Hello, World!");
});
server.listen(0, "127.0.0.1", () => fs.writeFileSync(process.argv[2], String(server.address().port)));
