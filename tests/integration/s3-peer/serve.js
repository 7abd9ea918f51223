// The S3 server of the integration tests, on 127.0.0.1 at a port the system picks.
//   node serve.js DIRECTORY BUCKET...
// Objects land as DIRECTORY/<bucket>/<key>._S3rver_object. Prints the port on one line once it listens, and
// exits when its standard input closes, so it never outlives the test that started it.
'use strict'
const S3rver = require('@20minutes/s3rver')

const [directory, ...buckets] = process.argv.slice(2)
const server = new S3rver({
  address: '127.0.0.1',
  port: 0,
  directory,
  silent: true,
  configureBuckets: buckets.map((name) => ({ name })),
})
server.run().then(
  ({ port }) => process.stdout.write(`${port}\n`),
  (error) => {
    console.error(error)
    process.exit(1)
  }
)
process.stdin.on('end', () => process.exit(0))
process.stdin.resume()
